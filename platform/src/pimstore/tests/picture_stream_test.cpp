// The contact picture as a stream: the contact dialog's write (set size 0,
// write in chunks, commit, save), reads, seeking, access modes, and what
// stays stored when a step is left out.

#include <numeric>

#include "contacts_fixture.h"

namespace handset::testing {
namespace {


std::vector<BYTE> pattern(std::size_t size)
{
    std::vector<BYTE> bytes(size);
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<BYTE>(i * 7 + 3);
    return bytes;
}

LARGE_INTEGER offset(LONGLONG value)
{
    LARGE_INTEGER li;
    li.QuadPart = value;
    return li;
}

ULARGE_INTEGER size(ULONGLONG value)
{
    ULARGE_INTEGER li;
    li.QuadPart = value;
    return li;
}

class PictureStreamTest : public ContactsTest {
protected:
    // The contact dialog's way of storing a picture file.
    void storePicture(IItem* item, const std::vector<BYTE>& bytes, bool commit = true, bool save = true)
    {
        ComPtr<IStream> stream;
        ASSERT_EQ(S_OK, item->OpenProperty(PIMPR_PICTURE, GENERIC_WRITE, stream.out()));
        ASSERT_EQ(S_OK, stream->SetSize(size(0)));
        for (std::size_t at = 0; at < bytes.size(); at += 1024) {
            const ULONG chunk = static_cast<ULONG>(std::min<std::size_t>(1024, bytes.size() - at));
            ULONG written = 0xdeadbeef;
            ASSERT_EQ(S_OK, stream->Write(bytes.data() + at, chunk, &written));
            ASSERT_EQ(chunk, written);
        }
        if (commit) {
            ASSERT_EQ(S_OK, stream->Commit(STGC_DEFAULT));
        }
        if (save) {
            ASSERT_EQ(S_OK, item->Save());
        }
    }

    // The stored picture, or nothing when the contact has none.
    std::optional<std::vector<BYTE>> storedPicture(CEOID oid)
    {
        ComPtr<IItem> item;
        EXPECT_EQ(S_OK, openItem(oid, item));
        ComPtr<IStream> stream;
        const HRESULT hr = item->OpenProperty(PIMPR_PICTURE, GENERIC_READ, stream.out());
        if (hr == kNotFound) {
            EXPECT_FALSE(stream);
            return std::nullopt;
        }
        EXPECT_EQ(S_OK, hr);
        std::vector<BYTE> bytes;
        BYTE chunk[700];
        for (;;) {
            ULONG read = 0xdeadbeef;
            EXPECT_EQ(S_OK, stream->Read(chunk, sizeof chunk, &read));
            if (read == 0 || read == 0xdeadbeef)
                break;
            bytes.insert(bytes.end(), chunk, chunk + read);
        }
        return bytes;
    }
};

TEST_F(PictureStreamTest, WrittenPictureReadsBackByteForByte)
{
    const CEOID oid = addContact({{PIMPR_LAST_NAME, u"Smith"}});
    EXPECT_EQ(std::nullopt, storedPicture(oid));
    const std::vector<BYTE> picture = pattern(3000);  // three chunks and a part
    {
        ComPtr<IItem> item;
        ASSERT_EQ(S_OK, openItem(oid, item));
        storePicture(item.get(), picture);
    }
    EXPECT_EQ(picture, storedPicture(oid));

    // A smaller picture replaces it whole: nothing of the old one is left.
    const std::vector<BYTE> smaller = pattern(10);
    {
        ComPtr<IItem> item;
        ASSERT_EQ(S_OK, openItem(oid, item));
        storePicture(item.get(), smaller);
    }
    EXPECT_EQ(smaller, storedPicture(oid));

    // The picture is not a value property.
    EXPECT_EQ(u"Smith", readString(oid, PIMPR_LAST_NAME));
    bool found = true;
    readString(oid, PIMPR_PICTURE, &found);
    EXPECT_FALSE(found);
}

TEST_F(PictureStreamTest, NothingIsStoredWithoutCommitAndSave)
{
    const CEOID oid = addContact({{PIMPR_LAST_NAME, u"Smith"}});
    const std::vector<BYTE> first = pattern(1500);
    {
        ComPtr<IItem> item;
        ASSERT_EQ(S_OK, openItem(oid, item));
        storePicture(item.get(), first, /*commit=*/false, /*save=*/true);
    }
    EXPECT_EQ(std::nullopt, storedPicture(oid));
    {
        ComPtr<IItem> item;
        ASSERT_EQ(S_OK, openItem(oid, item));
        storePicture(item.get(), first, /*commit=*/true, /*save=*/false);
    }
    EXPECT_EQ(std::nullopt, storedPicture(oid));
    {
        ComPtr<IItem> item;
        ASSERT_EQ(S_OK, openItem(oid, item));
        storePicture(item.get(), first);
    }
    EXPECT_EQ(first, storedPicture(oid));
}

TEST_F(PictureStreamTest, AnEmptyCommitRemovesThePicture)
{
    const CEOID oid = addContact({{PIMPR_LAST_NAME, u"Smith"}});
    ComPtr<IItem> item;
    ASSERT_EQ(S_OK, openItem(oid, item));
    storePicture(item.get(), pattern(2048));
    storePicture(item.get(), {});
    EXPECT_EQ(std::nullopt, storedPicture(oid));
}

TEST_F(PictureStreamTest, NewContactGetsItsPictureWithItsFirstSave)
{
    ComPtr<IDispatch> created;
    ASSERT_EQ(S_OK, app_->CreateItem(olContactItem, created.out()));
    ComPtr<IItem> item;
    ASSERT_EQ(S_OK, created->QueryInterface(IID_IItem, item.outVoid()));
    const std::vector<BYTE> picture = pattern(100);
    storePicture(item.get(), picture);
    ComPtr<IContact> contact;
    ASSERT_EQ(S_OK, item->QueryInterface(IID_IContact, contact.outVoid()));
    LONG oid = 0;
    ASSERT_EQ(S_OK, contact->get_Oid(&oid));
    EXPECT_EQ(picture, storedPicture(static_cast<CEOID>(oid)));
}

TEST_F(PictureStreamTest, SeekSetSizeAndStatBehaveAsAStream)
{
    const CEOID oid = addContact({});
    ComPtr<IItem> item;
    ASSERT_EQ(S_OK, openItem(oid, item));
    storePicture(item.get(), pattern(100));

    ComPtr<IStream> stream;
    ASSERT_EQ(S_OK, item->OpenProperty(PIMPR_PICTURE, GENERIC_READ | GENERIC_WRITE, stream.out()));
    STATSTG stat;
    std::memset(&stat, 0xBD, sizeof stat);
    ASSERT_EQ(S_OK, stream->Stat(&stat, STATFLAG_NONAME));
    EXPECT_EQ(100u, stat.cbSize.QuadPart);
    EXPECT_EQ(STGTY_STREAM, stat.type);
    EXPECT_EQ(nullptr, stat.pwcsName);

    ULARGE_INTEGER position;
    position.QuadPart = 0xdeadbeef;
    ASSERT_EQ(S_OK, stream->Seek(offset(-10), STREAM_SEEK_END, &position));
    EXPECT_EQ(90u, position.QuadPart);
    BYTE tail[20];
    std::memset(tail, 0xBD, sizeof tail);
    ULONG read = 0;
    ASSERT_EQ(S_OK, stream->Read(tail, sizeof tail, &read));
    EXPECT_EQ(10u, read);
    EXPECT_EQ(pattern(100)[95], tail[5]);
    EXPECT_EQ(0xBD, tail[10]);

    EXPECT_EQ(STG_E_INVALIDFUNCTION, stream->Seek(offset(-1), STREAM_SEEK_SET, &position));
    EXPECT_EQ(STG_E_INVALIDFUNCTION, stream->Seek(offset(0), 7, &position));
    ASSERT_EQ(S_OK, stream->Seek(offset(-50), STREAM_SEEK_CUR, &position));
    EXPECT_EQ(50u, position.QuadPart);

    // Writing past the end leaves zeros in the gap.
    ASSERT_EQ(S_OK, stream->Seek(offset(110), STREAM_SEEK_SET, nullptr));
    const BYTE last = 0x42;
    ASSERT_EQ(S_OK, stream->Write(&last, 1, nullptr));
    ASSERT_EQ(S_OK, stream->Stat(&stat, STATFLAG_NONAME));
    EXPECT_EQ(111u, stat.cbSize.QuadPart);
    ASSERT_EQ(S_OK, stream->Seek(offset(100), STREAM_SEEK_SET, nullptr));
    BYTE gap[11];
    ASSERT_EQ(S_OK, stream->Read(gap, sizeof gap, &read));
    EXPECT_EQ(11u, read);
    EXPECT_EQ(std::vector<BYTE>(10, 0), std::vector<BYTE>(gap, gap + 10));
    EXPECT_EQ(0x42, gap[10]);

    ASSERT_EQ(S_OK, stream->SetSize(size(5)));
    ASSERT_EQ(S_OK, stream->Commit(STGC_DEFAULT));
    ASSERT_EQ(S_OK, item->Save());
    EXPECT_EQ(std::vector<BYTE>(pattern(5)), storedPicture(oid));
}

TEST_F(PictureStreamTest, ModesAndArgumentsAreChecked)
{
    const CEOID oid = addContact({});
    ComPtr<IItem> item;
    ASSERT_EQ(S_OK, openItem(oid, item));
    IStream* sentinel = reinterpret_cast<IStream*>(0xdeadbeef);
    IStream* none = sentinel;
    EXPECT_EQ(kNotFound, item->OpenProperty(PIMPR_PICTURE, GENERIC_READ, &none));
    EXPECT_EQ(nullptr, none);
    EXPECT_EQ(E_INVALIDARG, item->OpenProperty(PIMPR_RINGTONE, GENERIC_READ, &none));
    EXPECT_EQ(E_INVALIDARG, item->OpenProperty(PIMPR_PICTURE, 0, &none));
    EXPECT_EQ(E_INVALIDARG, item->OpenProperty(PIMPR_PICTURE, GENERIC_WRITE | 1, &none));
    EXPECT_EQ(E_INVALIDARG, item->OpenProperty(PIMPR_PICTURE, GENERIC_WRITE, nullptr));

    storePicture(item.get(), pattern(8));
    BYTE buffer[8];
    ULONG count = 0xdeadbeef;
    {
        ComPtr<IStream> readOnly;
        ASSERT_EQ(S_OK, item->OpenProperty(PIMPR_PICTURE, GENERIC_READ, readOnly.out()));
        EXPECT_EQ(STG_E_ACCESSDENIED, readOnly->Write(buffer, 1, &count));
        EXPECT_EQ(0u, count);
        EXPECT_EQ(STG_E_ACCESSDENIED, readOnly->SetSize(size(0)));
        EXPECT_EQ(S_OK, readOnly->Commit(STGC_DEFAULT));  // nothing to hand over
        ComPtr<IStream> clone;
        EXPECT_EQ(E_NOTIMPL, readOnly->Clone(clone.out()));
    }
    {
        ComPtr<IStream> writeOnly;
        ASSERT_EQ(S_OK, item->OpenProperty(PIMPR_PICTURE, GENERIC_WRITE, writeOnly.out()));
        count = 0xdeadbeef;
        EXPECT_EQ(STG_E_ACCESSDENIED, writeOnly->Read(buffer, 1, &count));
        EXPECT_EQ(0u, count);
        EXPECT_EQ(STG_E_INVALIDPOINTER, writeOnly->Write(nullptr, 1, &count));
        EXPECT_EQ(STG_E_MEDIUMFULL, writeOnly->SetSize(size(ULONGLONG{1} << 40)));
    }
    EXPECT_EQ(pattern(8), storedPicture(oid));
}

TEST_F(PictureStreamTest, StreamOutlivesTheItemItCameFrom)
{
    const CEOID oid = addContact({});
    ComPtr<IStream> stream;
    {
        ComPtr<IItem> item;
        ASSERT_EQ(S_OK, openItem(oid, item));
        ASSERT_EQ(S_OK, item->OpenProperty(PIMPR_PICTURE, GENERIC_WRITE, stream.out()));
    }
    const std::vector<BYTE> bytes = pattern(16);
    EXPECT_EQ(S_OK, stream->Write(bytes.data(), 16, nullptr));
    EXPECT_EQ(S_OK, stream->Commit(STGC_DEFAULT));
    stream.reset();  // the item goes with it, unsaved
    EXPECT_EQ(std::nullopt, storedPicture(oid));
}

TEST_F(PictureStreamTest, RevertGoesBackToTheItemsPicture)
{
    const CEOID oid = addContact({});
    ComPtr<IItem> item;
    ASSERT_EQ(S_OK, openItem(oid, item));
    storePicture(item.get(), pattern(4));
    ComPtr<IStream> stream;
    ASSERT_EQ(S_OK, item->OpenProperty(PIMPR_PICTURE, GENERIC_READ | GENERIC_WRITE, stream.out()));
    ASSERT_EQ(S_OK, stream->SetSize(size(0)));
    ASSERT_EQ(S_OK, stream->Revert());
    STATSTG stat;
    ASSERT_EQ(S_OK, stream->Stat(&stat, STATFLAG_NONAME));
    EXPECT_EQ(4u, stat.cbSize.QuadPart);
}

}  // namespace
}  // namespace handset::testing
