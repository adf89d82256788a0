#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "api/Base64URL.h"
#include "api/Codec.h"

namespace vael {
namespace {

const std::string kId = "6F9619FF-8B86-D011-B42D-00C04FC964FF";
const std::string kOther = "00000000-0000-0000-0000-00000000C001";

std::string itemJSON(const std::string& override = {}) {
    std::string base = R"({"id":")" + kId + R"(","collectionId":")" + kOther +
                       R"(","type":"login","nameBlob":"bmFtZQ","contentBlob":"Ym9keQ","cryptoParams":"{\"v\":1, \"alg\":\"x\"}","wrappedItemKey":"a2V5","aiAccess":"injectable","revision":7,"updatedAt":1735689600123)";
    return base + override + "}";
}

TEST(Base64URLTest, RoundTripsReadsPaddingAndRejectsOtherAlphabets) {
    const Bytes bytes{0xFB, 0xFF, 0x00, 0x10};
    EXPECT_EQ(Base64URL::encode(bytes), "-_8AEA");
    EXPECT_EQ(Base64URL::decode("-_8AEA"), bytes);
    EXPECT_EQ(Base64URL::decode("-_8AEA=="), bytes) << "RFC 4648 allows the padding";
    EXPECT_EQ(Base64URL::decode(""), Bytes{});
    for (const char* bad : {"+/8AEA", "+/8AEA==", "-_8AEA=", "-_8AEA===", "-_8 AEA", "a", "!!", "=="})
        EXPECT_FALSE(Base64URL::decode(bad).has_value()) << bad;
}

TEST(CodecTest, ReadsAnItemAndKeepsItsCryptoParametersVerbatim) {
    const ItemDTO item = wire::decodeItem(itemJSON(R"(,"unknown":[1,2,{}])"));
    EXPECT_EQ(item.id.text(), kId);
    EXPECT_EQ(item.collectionId.text(), kOther);
    EXPECT_EQ(item.type, "login");
    EXPECT_EQ(item.cryptoParams.rawJSON, R"({"v":1, "alg":"x"})");
    EXPECT_EQ(item.revision, 7);
    EXPECT_EQ(wire::toWireMillis(item.updatedAt), 1735689600123);

    ItemWriteBody body;
    body.cryptoParams = CryptoParamsDTO(item.cryptoParams.rawJSON);
    const std::string written = wire::encodeItemWrite(body, 3);
    EXPECT_NE(written.find(R"("cryptoParams":"{\"v\":1, \"alg\":\"x\"}")"), std::string::npos) << written;
    EXPECT_EQ(written.find(R"("id")"), std::string::npos) << "an update carries no id";

    // Records stored before clients sent a type come without one.
    EXPECT_EQ(wire::decodeItem(itemJSON(R"(,"type":null)")).type, std::nullopt);
}

TEST(CodecTest, RejectsMalformedAnswers) {
    struct Case {
        const char* what;
        std::string body;
    };
    const std::vector<Case> cases = {
        {"not JSON", "{"},
        {"an array", "[]"},
        {"empty", ""},
        {"missing revision", R"({"id":")" + kId + R"("})"},
        {"revision as text", itemJSON(R"(,"revision":"7")")},
        {"revision as fraction", itemJSON(R"(,"revision":7.5)")},
        {"revision beyond 64 bits", itemJSON(R"(,"revision":9223372036854775808)")},
        {"null required member", itemJSON(R"(,"nameBlob":null)")},
        {"type as number", itemJSON(R"(,"type":1)")},
        {"bad identifier", itemJSON(R"(,"id":"not-a-uuid")")},
        {"date out of range", itemJSON(R"(,"updatedAt":9223372036854775807)")},
        {"blob as number", itemJSON(R"(,"nameBlob":1)")},
        {"invalid UTF-8", std::string("{\"type\":\"\xff\"}")},
    };
    for (const auto& c : cases) {
        try {
            wire::decodeItem(c.body);
            ADD_FAILURE() << c.what << " was accepted";
        } catch (const APIError& error) {
            EXPECT_EQ(error.kind(), APIError::Kind::BadResponse) << c.what;
        }
    }
}

TEST(CodecTest, SyncAnswerKeepsOrderAndTreatsNullParentAsAbsent) {
    const std::string body = R"({"now":1000,"items":[
        {"id":")" + kId + R"(","collectionId":")" + kOther + R"(","revision":2,"updatedAt":5,"deleted":true},
        {"id":")" + kOther + R"(","collectionId":")" + kOther + R"(","revision":1,"updatedAt":4,"deleted":false}],
      "collections":[{"id":")" + kOther + R"(","orgId":")" + kId +
                             R"(","parentId":null,"nameBlob":"bg","sort":-3,"wrappedKey":"aw","updatedAt":6,"deleted":false}]})";
    const SyncResponseDTO answer = wire::decodeSyncResponse(body);
    ASSERT_EQ(answer.items.size(), 2u);
    EXPECT_EQ(answer.items[0].id.text(), kId);
    EXPECT_TRUE(answer.items[0].deleted);
    EXPECT_EQ(answer.items[1].id.text(), kOther);
    ASSERT_EQ(answer.collections.size(), 1u);
    EXPECT_FALSE(answer.collections[0].parentId.has_value());
    EXPECT_EQ(answer.collections[0].sort, -3);

    for (const std::string bad : {R"({"now":1,"items":[],"collections":[1]})", R"({"now":1,"items":{}})",
                                  R"({"now":1,"items":[{"id":"x"}],"collections":[]})", R"({"items":[],"collections":[]})",
                                  R"({"now":1,"items":[],"collections":[],"extra":1,"now2":[)"}) {
        EXPECT_THROW(wire::decodeSyncResponse(bad), APIError) << bad;
    }
}

TEST(CodecTest, OptionalMembersOfInvitesAndMembers) {
    const std::string invite = R"({"id":"inv-1","role":"member","status":"pending","orgLabel":"Personal",
        "inviterLabel":"You","folderIds":[],"recipient":null,"createdAt":1,"expiresAt":2,"claimedAccountId":null})";
    const InviteDTO dto = wire::decodeInvite(invite);
    ASSERT_TRUE(dto.folderIds.has_value());
    EXPECT_TRUE(dto.folderIds->empty()) << "an empty folder list stays distinct from none";
    EXPECT_FALSE(dto.recipient.has_value());
    EXPECT_FALSE(dto.claimedAccountId.has_value());
    EXPECT_FALSE(dto.inviteeX25519PublicKey.has_value());

    const std::string withoutFolders = R"({"id":"inv-1","role":"member","status":"pending","orgLabel":"P",
        "inviterLabel":"Y","createdAt":1,"expiresAt":2})";
    EXPECT_FALSE(wire::decodeInvite(withoutFolders).folderIds.has_value());
    EXPECT_THROW(wire::decodeInvite(R"({"id":"i","role":"m","status":"s","orgLabel":"P","inviterLabel":"Y",
        "folderIds":["nope"],"createdAt":1,"expiresAt":2})"),
                 APIError);

    const auto members = wire::decodeMembers(R"({"members":[{"accountId":")" + kId +
                                             R"(","role":"owner","fingerprint":"ab:cd","x25519PublicKey":null}]})");
    ASSERT_EQ(members.size(), 1u);
    EXPECT_FALSE(members[0].x25519PublicKey.has_value());
    EXPECT_THROW(wire::decodeMembers(R"({"members":[null]})"), APIError);
}

TEST(CodecTest, LoginAnswerNeedsAToken) {
    const std::string account = R"({"id":")" + kId + R"(","handle":"ana","x25519PublicKey":"eA","ed25519PublicKey":"ZQ"})";
    const auto login = wire::decodeLoginFinish(R"({"token":"t0k","expiresAt":99,"account":)" + account + "}");
    EXPECT_EQ(login.token, "t0k");
    EXPECT_EQ(login.account.handle, "ana");
    EXPECT_THROW(wire::decodeLoginFinish(R"({"token":"","expiresAt":99,"account":)" + account + "}"), APIError);
    EXPECT_THROW(wire::decodeLoginFinish(R"({"token":"t","expiresAt":99,"account":"ana"})"), APIError);
    EXPECT_THROW(wire::decodeInviteCreated(R"({"id":"x","token":""})"), APIError);
}

TEST(CodecTest, ErrorAnswersMapToTheCasesCallersTellApart) {
    struct Case {
        int status;
        std::string body;
        APIError expected;
    };
    const std::vector<Case> cases = {
        {404, R"({"error":"no such item"})", APIError::notFound()},
        {404, "", APIError::notFound()},
        {409, R"({"error":"revision mismatch","revision":12})", APIError::conflict(12)},
        {409, R"({"error":"revision mismatch","revision":-1})", APIError::conflict(-1)},
        {409, R"({"error":"handle taken"})", APIError::taken("handle taken")},
        {409, R"({"revision":"12"})", APIError::taken("")},
        {409, "<html>", APIError::taken("")},
        {400, R"({"error":"bad\nline"})", APIError::rejected(400, "bad?line")},
        {401, R"({"error":5})", APIError::rejected(401, "")},
        {503, "", APIError::rejected(503, "")},
    };
    for (const auto& c : cases) EXPECT_EQ(wire::errorFromAnswer(c.status, c.body), c.expected) << c.body;

    const APIError long_text = wire::errorFromAnswer(400, R"({"error":")" + std::string(5000, 'x') + R"("})");
    EXPECT_LE(long_text.text().size(), 200u);
}

TEST(CodecTest, WireDatesAreWholeMillisecondsWithinTheClockRange) {
    const auto t = fromReferenceSeconds(12.3456789);
    const auto back = wire::fromWireMillis(wire::toWireMillis(t));
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(*back, truncatedToMilliseconds(t));
    EXPECT_EQ(wire::toWireMillis(TimePoint{} - std::chrono::microseconds(1)), -1) << "floors, not truncates";
    EXPECT_FALSE(wire::fromWireMillis(INT64_MAX).has_value());
    EXPECT_FALSE(wire::fromWireMillis(INT64_MIN).has_value());
}

}  // namespace
}  // namespace vael
