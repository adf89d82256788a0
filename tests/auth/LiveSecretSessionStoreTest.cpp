// Runs against a real Secret Service: started by CTest under dbus-run-session with a fresh,
// unlocked gnome-keyring (see CMakeLists.txt). Never run on a desktop session of its own.
#include <gtest/gtest.h>
#include <libsecret/secret.h>

#include <cstdlib>

#include "app/auth/SecretSessionStore.h"

namespace vael {
namespace {

// Every item carrying these attributes, whatever its schema.
std::size_t itemsFor(const char* service, const char* account) {
    GHashTable* attributes = g_hash_table_new(g_str_hash, g_str_equal);
    g_hash_table_insert(attributes, const_cast<char*>("service"), const_cast<char*>(service));
    g_hash_table_insert(attributes, const_cast<char*>("account"), const_cast<char*>(account));
    GError* error = nullptr;
    GList* items = secret_service_search_sync(nullptr, nullptr, attributes, SECRET_SEARCH_ALL, nullptr, &error);
    g_hash_table_unref(attributes);
    if (error != nullptr) {
        ADD_FAILURE() << error->message;
        g_error_free(error);
        return 0;
    }
    const std::size_t count = g_list_length(items);
    g_list_free_full(items, g_object_unref);
    return count;
}

class LiveKeyring : public ::testing::Test {
protected:
    void SetUp() override {
        if (std::getenv("VAEL_LIVE_KEYRING") == nullptr)
            GTEST_SKIP() << "needs the private keyring session that CTest sets up";
    }
};

TEST_F(LiveKeyring, FirstSaveAddsOneItemAndEachLaterSaveReplacesIt) {
    SecretSessionStore store;
    ASSERT_EQ(itemsFor(SecretSessionStore::kService, SecretSessionStore::kAccount), 0u);
    EXPECT_EQ(store.load(), std::nullopt);

    store.save("first-token", fromReferenceSeconds(763030000.5));
    EXPECT_EQ(store.load(), (SessionEntry{"first-token", fromReferenceSeconds(763030000.5)}));
    EXPECT_EQ(itemsFor(SecretSessionStore::kService, SecretSessionStore::kAccount), 1u);

    store.save("", fromReferenceSeconds(763040000));
    EXPECT_EQ(store.load(), (SessionEntry{"", fromReferenceSeconds(763040000)}));
    EXPECT_EQ(itemsFor(SecretSessionStore::kService, SecretSessionStore::kAccount), 1u);
}

TEST_F(LiveKeyring, ItemsOfAnotherAccountAreLeftAlone) {
    SecretSessionStore other(SecretSessionStore::kService, "someone-else");
    other.save("theirs", fromReferenceSeconds(1));
    SecretSessionStore ours;
    ours.save("ours", fromReferenceSeconds(2));
    ours.save("ours again", fromReferenceSeconds(3));
    EXPECT_EQ(other.load(), (SessionEntry{"theirs", fromReferenceSeconds(1)}));
    EXPECT_EQ(ours.load(), (SessionEntry{"ours again", fromReferenceSeconds(3)}));
}

}  // namespace
}  // namespace vael
