// The message store: messages filed by the host and read back through
// OpenEntry and GetProps, with MAPI's contracts for sizes, missing
// properties and strings; hostile senders; storage failures.
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <handset/faults.h>
#include <handset/message_store.h>

#include "test_device.h"

namespace {

struct Tags {
    ULONG cValues;
    ULONG aulPropTag[4];
};

LPSPropTagArray asArray(Tags& tags)
{
    return reinterpret_cast<LPSPropTagArray>(&tags);
}

class MessageStoreTest : public handset::testing::DeviceTest {
protected:
    void SetUp() override { ASSERT_EQ(S_OK, handset::openMessageStore(&store_)); }
    void TearDown() override
    {
        if (store_) {
            EXPECT_EQ(0u, store_->Release());
        }
    }

    handset::FiledMessage file(std::u16string_view sender, std::u16string_view text = u"Hello")
    {
        handset::FiledMessage filed = handset::fileMessage(sender, text);
        EXPECT_EQ(S_OK, filed.hr);
        return filed;
    }

    IMessage* open(const std::vector<BYTE>& entryId)
    {
        ULONG type = 0xdeadbeef;
        IUnknown* unknown = nullptr;
        EXPECT_EQ(S_OK, store_->OpenEntry(static_cast<ULONG>(entryId.size()),
                                          reinterpret_cast<LPENTRYID>(const_cast<BYTE*>(entryId.data())), nullptr, 0,
                                          &type, &unknown));
        EXPECT_EQ(MAPI_MESSAGE, type);
        return static_cast<IMessage*>(unknown);
    }

    // A string property read whole, terminator included, NUL characters kept.
    std::u16string readString(IMessage* message, ULONG tag, std::size_t length)
    {
        Tags tags{1, {tag}};
        ULONG count = 0xdeadbeef;
        LPSPropValue values = nullptr;
        EXPECT_EQ(S_OK, message->GetProps(asArray(tags), MAPI_UNICODE, &count, &values));
        EXPECT_EQ(1u, count);
        if (!values)
            return {};
        EXPECT_EQ(tag, values[0].ulPropTag);
        std::u16string text(values[0].Value.lpszW, length + 1);
        MAPIFreeBuffer(values);
        EXPECT_EQ(u'\0', text.back());
        text.pop_back();
        return text;
    }

    IMsgStore* store_ = nullptr;
};

TEST_F(MessageStoreTest, FiledMessagesReadBackWithTheirEntryIds)
{
    const handset::FiledMessage first = file(u"Anna <+4915112345678>", u"See you at eight");
    const handset::FiledMessage second = file(u"+4915112345678", u"");
    EXPECT_EQ(1, first.number);
    EXPECT_EQ(2, second.number);
    ASSERT_EQ(28u, first.entryId.size());
    EXPECT_NE(first.entryId, second.entryId);

    IMessage* message = open(first.entryId);
    ASSERT_NE(nullptr, message);
    Tags tags{4, {PR_SUBJECT, PR_SENDER_EMAIL_ADDRESS, PR_ENTRYID, PR_MESSAGE_DELIVERY_TIME}};
    ULONG count = 0xdeadbeef;
    LPSPropValue values = nullptr;
    ASSERT_EQ(S_OK, message->GetProps(asArray(tags), MAPI_UNICODE, &count, &values));
    ASSERT_EQ(4u, count);
    EXPECT_EQ(PR_SUBJECT, values[0].ulPropTag);
    EXPECT_EQ(u"See you at eight", std::u16string(values[0].Value.lpszW));
    EXPECT_EQ(PR_SENDER_EMAIL_ADDRESS, values[1].ulPropTag);
    EXPECT_EQ(u"Anna <+4915112345678>", std::u16string(values[1].Value.lpszW));
    EXPECT_EQ(PR_ENTRYID, values[2].ulPropTag);
    ASSERT_EQ(28u, values[2].Value.bin.cb);
    EXPECT_EQ(0, std::memcmp(first.entryId.data(), values[2].Value.bin.lpb, 28));
    EXPECT_EQ(PR_MESSAGE_DELIVERY_TIME, values[3].ulPropTag);
    EXPECT_NE(0u, values[3].Value.ft.dwHighDateTime);
    MAPIFreeBuffer(values);
    EXPECT_EQ(0u, message->Release());

    // An empty text is a property of its own, not a missing one.
    message = open(second.entryId);
    ASSERT_NE(nullptr, message);
    EXPECT_EQ(u"", readString(message, PR_SUBJECT, 0));
    message->Release();

    // The store is a property object too.
    Tags name{1, {PR_DISPLAY_NAME}};
    ASSERT_EQ(S_OK, store_->GetProps(asArray(name), MAPI_UNICODE, &count, &values));
    EXPECT_EQ(u"SMS", std::u16string(values[0].Value.lpszW));
    MAPIFreeBuffer(values);
}

TEST_F(MessageStoreTest, GetPropsReportsWhatItCannotAnswerPerValue)
{
    IMessage* message = open(file(u"Bob <0301234567>").entryId);
    ASSERT_NE(nullptr, message);
    ULONG count = 0xdeadbeef;
    LPSPropValue values = reinterpret_cast<LPSPropValue>(0xdeadbeef);

    // A property the message lacks, and one asked for with the wrong type.
    Tags tags{3, {PR_SENDER_NAME, PR_SENDER_EMAIL_ADDRESS, PROP_TAG(PT_LONG, PROP_ID(PR_SUBJECT))}};
    ASSERT_EQ(MAPI_W_ERRORS_RETURNED, message->GetProps(asArray(tags), MAPI_UNICODE, &count, &values));
    ASSERT_EQ(3u, count);
    EXPECT_EQ(PROP_TAG(PT_ERROR, PROP_ID(PR_SENDER_NAME)), values[0].ulPropTag);
    EXPECT_EQ(MAPI_E_NOT_FOUND, values[0].Value.err);
    EXPECT_EQ(u"Bob <0301234567>", std::u16string(values[1].Value.lpszW));
    EXPECT_EQ(PROP_TAG(PT_ERROR, PROP_ID(PR_SUBJECT)), values[2].ulPropTag);
    EXPECT_EQ(MAPI_E_NOT_FOUND, values[2].Value.err);
    MAPIFreeBuffer(values);

    // Strings are Unicode only: refused without MAPI_UNICODE, given as
    // PT_UNICODE for an 8-bit or unspecified tag with it.
    Tags strings{2, {PR_SUBJECT, PR_ENTRYID}};
    ASSERT_EQ(MAPI_W_ERRORS_RETURNED, message->GetProps(asArray(strings), 0, &count, &values));
    ASSERT_EQ(2u, count);
    EXPECT_EQ(PROP_TAG(PT_ERROR, PROP_ID(PR_SUBJECT)), values[0].ulPropTag);
    EXPECT_EQ(MAPI_E_NO_SUPPORT, values[0].Value.err);
    EXPECT_EQ(PR_ENTRYID, values[1].ulPropTag);  // not a string: answered
    MAPIFreeBuffer(values);
    Tags other{2, {CHANGE_PROP_TYPE(PR_SUBJECT, PT_STRING8), CHANGE_PROP_TYPE(PR_SENDER_EMAIL_ADDRESS, PT_UNSPECIFIED)}};
    ASSERT_EQ(S_OK, message->GetProps(asArray(other), MAPI_UNICODE, &count, &values));
    EXPECT_EQ(PR_SUBJECT, values[0].ulPropTag);
    EXPECT_EQ(u"Hello", std::u16string(values[0].Value.lpszW));
    EXPECT_EQ(PR_SENDER_EMAIL_ADDRESS, values[1].ulPropTag);
    MAPIFreeBuffer(values);

    // Without a tag array: every property.
    ASSERT_EQ(S_OK, message->GetProps(nullptr, MAPI_UNICODE, &count, &values));
    EXPECT_EQ(4u, count);
    MAPIFreeBuffer(values);

    // Calls that cannot be answered at all leave empty outputs.
    Tags none{0, {}};
    count = 0xdeadbeef;
    values = reinterpret_cast<LPSPropValue>(0xdeadbeef);
    EXPECT_EQ(MAPI_E_INVALID_PARAMETER, message->GetProps(asArray(none), MAPI_UNICODE, &count, &values));
    EXPECT_EQ(0u, count);
    EXPECT_EQ(nullptr, values);
    values = reinterpret_cast<LPSPropValue>(0xdeadbeef);
    EXPECT_EQ(MAPI_E_UNKNOWN_FLAGS, message->GetProps(asArray(tags), MAPI_UNICODE | 0x1, &count, &values));
    EXPECT_EQ(nullptr, values);
    EXPECT_EQ(MAPI_E_INVALID_PARAMETER, message->GetProps(asArray(tags), MAPI_UNICODE, nullptr, &values));
    EXPECT_EQ(MAPI_E_INVALID_PARAMETER, message->GetProps(asArray(tags), MAPI_UNICODE, &count, nullptr));
    message->Release();
}

TEST_F(MessageStoreTest, OpenEntryRefusesIdsItDidNotMake)
{
    const std::vector<BYTE> good = file(u"Carla <+390612345678>").entryId;
    auto tryOpen = [&](std::vector<BYTE> id, LPCIID iid = nullptr) {
        ULONG type = 0xdeadbeef;
        IUnknown* unknown = reinterpret_cast<IUnknown*>(0xdeadbeef);
        const HRESULT hr = store_->OpenEntry(static_cast<ULONG>(id.size()), reinterpret_cast<LPENTRYID>(id.data()), iid,
                                             0, &type, &unknown);
        EXPECT_EQ(nullptr, unknown);
        EXPECT_EQ(0xdeadbeefu, type);
        return hr;
    };
    std::vector<BYTE> flagged = good;
    flagged[0] = 1;
    std::vector<BYTE> foreign = good;
    foreign[10] ^= 0xFF;
    std::vector<BYTE> zero = good;
    std::fill(zero.begin() + 20, zero.end(), 0);
    std::vector<BYTE> longer = good;
    longer.push_back(0);
    for (const auto& id : {flagged, foreign, zero, longer, std::vector<BYTE>(good.begin(), good.end() - 1)}) {
        SCOPED_TRACE(id.size());
        EXPECT_EQ(MAPI_E_INVALID_ENTRYID, tryOpen(id));
    }
    std::vector<BYTE> unknownNumber = good;
    unknownNumber[20] = 99;
    EXPECT_EQ(MAPI_E_NOT_FOUND, tryOpen(unknownNumber));
    EXPECT_EQ(MAPI_E_INTERFACE_NOT_SUPPORTED, tryOpen(good, &IID_IMsgStore));

    ULONG type = 0;
    EXPECT_EQ(MAPI_E_INVALID_PARAMETER,
              store_->OpenEntry(static_cast<ULONG>(good.size()),
                                reinterpret_cast<LPENTRYID>(const_cast<BYTE*>(good.data())), nullptr, 0, &type, nullptr));
    IUnknown* unknown = nullptr;
    EXPECT_EQ(MAPI_E_INVALID_ENTRYID, store_->OpenEntry(0, nullptr, nullptr, 0, &type, &unknown));
    ASSERT_EQ(S_OK, store_->OpenEntry(static_cast<ULONG>(good.size()),
                                      reinterpret_cast<LPENTRYID>(const_cast<BYTE*>(good.data())), &IID_IMessage, 0,
                                      nullptr, &unknown));
    unknown->Release();
}

// Sender addresses come from the network: whatever they hold is stored and
// read back exactly, never taken for SQL.
TEST_F(MessageStoreTest, HostileSendersAreStoredAndReadBackExactly)
{
    const std::u16string senders[] = {
        std::u16string(10000, u'9'),
        u"no digits at all",
        std::u16string(u"Eve\0<+49151>\0", 13),
        u"\"Quoted\" <'+49'151>",
        u"'); DROP TABLE messages; --",
        u"Robert'); DELETE FROM message_props WHERE ('1'='1",
        u"",
    };
    std::vector<std::vector<BYTE>> ids;
    for (const auto& sender : senders)
        ids.push_back(file(sender, sender).entryId);
    for (std::size_t i = 0; i < std::size(senders); ++i) {
        SCOPED_TRACE(i);
        IMessage* message = open(ids[i]);
        ASSERT_NE(nullptr, message);
        EXPECT_EQ(senders[i], readString(message, PR_SENDER_EMAIL_ADDRESS, senders[i].size()));
        EXPECT_EQ(senders[i], readString(message, PR_SUBJECT, senders[i].size()));
        message->Release();
    }
    EXPECT_EQ(static_cast<std::int64_t>(std::size(senders)) + 1, file(u"after them").number);
}

// A failure at any step of filing leaves nothing behind, and the store
// files the next message as if it had never happened.
TEST_F(MessageStoreTest, FailedFilingLeavesNothing)
{
    using handset::faults::Fault;
    using handset::faults::Store;
    for (int step = 1;; ++step) {
        SCOPED_TRACE(step);
        handset::faults::failStep(Store::Messages, step, step % 2 ? Fault::IoError : Fault::DiskFull);
        const handset::FiledMessage filed = handset::fileMessage(u"Dora <+4930123456>", u"Hi");
        handset::faults::failStep(Store::Messages, 0, Fault::IoError);
        if (filed.ok()) {
            EXPECT_EQ(1, filed.number);
            EXPECT_GT(step, 3);
            break;
        }
        EXPECT_EQ(MAPI_E_CALL_FAILED, filed.hr);
        EXPECT_TRUE(filed.entryId.empty());
        ASSERT_LT(step, 20);
    }
}

}  // namespace
