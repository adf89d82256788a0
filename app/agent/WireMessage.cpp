#include <cxxabi.h>

#include <cstdlib>
#include <memory>
#include <typeinfo>

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

}  // namespace

std::string VaultUDSServer::wireMessage(std::exception_ptr error) {
    try {
        std::rethrow_exception(error);
    } catch (const VaultUDSManagementError& e) {
        return e.what();
    } catch (const VaultRef::ParseError&) {
        return "bad ref \u2014 expected vael://<group>/<item>/<field> exactly as returned by secret_list "
               "(percent-encoded)";
    } catch (const TOTPError&) {
        return "the item's otp field is not a valid base32 TOTP seed";
    } catch (const VaelCryptoError& e) {
        if (e.code() == VaelCryptoError::Code::Locked) return "vault is locked \u2014 open Vael and unlock it, then retry";
        return "vault error: " + plainTypeName(&typeid(e));
    } catch (const SyncAPIError& e) {
        // What an agent's write can meet at the server; a failure to reach it is queued, never raised.
        if (e.kind() == SyncAPIError::Kind::notFound)
            return VaultUDSManagementError(VaultUDSManagementError::Case::notFound).what();
        if (e.kind() == SyncAPIError::Kind::conflict)
            return "conflict \u2014 the change was not written: the item was changed elsewhere since it was read; "
                   "read it again and retry";
        return "vault error: " + plainTypeName(&typeid(e));
    } catch (const std::exception& e) {
        if (auto cause = storageFaultCause(e)) return "vault error: " + *cause;
        return "vault error: " + plainTypeName(&typeid(e));
    } catch (...) {
        return "vault error: " + plainTypeName(abi::__cxa_current_exception_type());
    }
}

}  // namespace vael
