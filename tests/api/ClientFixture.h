#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "FakeVaelServer.h"
#include "api/APIError.h"
#include "api/Base64URL.h"
#include "api/VaelAPIClient.h"

namespace vael {

// A fake server and a client pointed at it; the client goes first on teardown so its pooled
// connections close before the server stops.
class ClientFixture : public ::testing::Test {
protected:
    static VaelAPIClientOptions testOptions() {
        VaelAPIClientOptions options;
        options.connectTimeout = std::chrono::milliseconds(2000);
        options.totalTimeout = std::chrono::milliseconds(5000);
        return options;
    }

    fake::FakeVaelServer server;
    std::unique_ptr<VaelAPIClient> client = std::make_unique<VaelAPIClient>(server.baseURL(), testOptions());

    void TearDown() override { client.reset(); }
};

// The APIError a call throws; a failure of the test when it throws nothing or something else.
inline APIError apiErrorOf(const std::function<void()>& call) {
    try {
        call();
    } catch (const APIError& error) {
        return error;
    } catch (const std::exception& other) {
        ADD_FAILURE() << "threw something else: " << other.what();
        return APIError::badResponse("wrong exception");
    }
    ADD_FAILURE() << "threw nothing";
    return APIError::badResponse("no exception");
}

inline Bytes bytes(std::string_view text) { return bytesOf(text); }

}  // namespace vael
