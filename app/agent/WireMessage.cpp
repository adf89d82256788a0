#include <cxxabi.h>

#include <cstdlib>
#include <memory>
#include <typeinfo>

#include "api/APIError.h"
#include "app/agent/VaultUDSServer.h"
#include "crypto/CryptoError.h"
#include "store/StorageFault.h"
#include "store/SyncTypes.h"

namespace vael {

namespace {

// "nlohmann::json_abi_v3_11_2::detail::type_error" -> "type_error": the type's own name, without
// namespaces or template arguments.
std::string plainTypeName(const std::type_info* type) {
    if (type == nullptr) return "unknown";
    int status = 0;
    std::unique_ptr<char, void (*)(void*)> demangled(abi::__cxa_demangle(type->name(), nullptr, nullptr, &status),
                                                     std::free);
    std::string name = status == 0 && demangled ? demangled.get() : type->name();
    if (auto angle = name.find('<'); angle != std::string::npos) name.resize(angle);
    if (auto colons = name.rfind("::"); colons != std::string::npos) name.erase(0, colons + 2);
    return name.empty() ? "unknown" : name;
}

using Case = VaultUDSManagementError::Case;

std::string managementText(Case c) { return VaultUDSManagementError(c).what(); }

// A write the server did not take: what happened to it, never the server's own words.
constexpr const char* kServerUnreachable =
    "not written \u2014 the server could not be reached; retry when Vael is back online";
constexpr const char* kServerRefused = "not written \u2014 the server refused the change; retry later";

std::string syncText(const SyncAPIError& error) {
    switch (error.kind()) {
        case SyncAPIError::Kind::notFound: return managementText(Case::notFound);
        case SyncAPIError::Kind::conflict: return managementText(Case::conflict);
        case SyncAPIError::Kind::offline: return kServerUnreachable;
        case SyncAPIError::Kind::transport: return kServerRefused;
    }
    return kServerRefused;
}

std::string apiText(const APIError& error) {
    switch (error.kind()) {
        case APIError::Kind::NotFound: return managementText(Case::notFound);
        case APIError::Kind::Conflict:
        case APIError::Kind::Taken: return managementText(Case::conflict);
        case APIError::Kind::Network: return kServerUnreachable;
        case APIError::Kind::Rejected:
        case APIError::Kind::BadResponse: return kServerRefused;
    }
    return kServerRefused;
}

}  // namespace

std::string VaultUDSServer::wireMessage(std::exception_ptr error) {
    try {
        std::rethrow_exception(error);
    } catch (const VaultUDSManagementError& e) {
        return e.what();
    } catch (const VaultRef::ParseError&) {
        return "bad ref \u2014 expected vael://<group>/<item>/<field> exactly as returned by secret_list "
               "(percent-encoded)";
    } catch (const SyncAPIError& e) {
        return syncText(e);
    } catch (const APIError& e) {
        return apiText(e);
    } catch (const TOTPError&) {
        return "the item's otp field is not a valid base32 TOTP seed";
    } catch (const VaelCryptoError& e) {
        if (e.code() == VaelCryptoError::Code::Locked) return "vault is locked \u2014 open Vael and unlock it, then retry";
        return "vault error: " + plainTypeName(&typeid(e));
    } catch (const std::exception& e) {
        if (auto cause = storageFaultCause(e)) return "vault error: " + *cause;
        return "vault error: " + plainTypeName(&typeid(e));
    } catch (...) {
        return "vault error: " + plainTypeName(abi::__cxa_current_exception_type());
    }
}

}  // namespace vael
