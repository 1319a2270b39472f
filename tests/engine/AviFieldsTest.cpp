// The AVI header's field description is written into the room the muxer leaves after it, and
// only where that room is unused: a super index in use is never cut.

#include "capture/engine/AviFields.h"

#include <QTest>

#include <cstring>
#include <vector>

using namespace capture;

namespace {

using Bytes = std::vector<std::uint8_t>;

void put32(Bytes& out, std::uint32_t value)
{
    for (int shift = 0; shift < 32; shift += 8)
        out.push_back(std::uint8_t(value >> shift));
}

std::uint32_t le32(const Bytes& bytes, std::size_t at)
{
    std::uint32_t value;
    std::memcpy(&value, bytes.data() + at, 4);
    return value;
}

void chunk(Bytes& out, const char* id, const Bytes& payload)
{
    out.insert(out.end(), id, id + 4);
    put32(out, std::uint32_t(payload.size()));
    out.insert(out.end(), payload.begin(), payload.end());
}

Bytes list(const char* type, const Bytes& content)
{
    Bytes payload(type, type + 4);
    payload.insert(payload.end(), content.begin(), content.end());
    Bytes out;
    chunk(out, "LIST", payload);
    return out;
}

// A header as the muxer writes it for one 720x576 video stream at 25 frames a second: its
// video properties (one field) where asked for, then its super index with that many entries
// in use (JUNK with none), each entry's bytes all 0x11 * its number.
Bytes header(bool withProperties, int entriesInUse)
{
    Bytes strh(56, 0), strf(40, 0), vprp, index;
    std::memcpy(strh.data(), "vids", 4);
    strh[20] = 1;   // scale
    strh[24] = 25;  // rate
    strf[0] = 40;
    strf[4] = 720 & 0xff, strf[5] = 720 >> 8;
    strf[8] = 576 & 0xff, strf[9] = 576 >> 8;
    for (std::uint32_t value : {0u, 0u, 25u, 720u, 576u, 295u << 16 | 216u, 720u, 576u, 1u, 576u, 720u, 576u, 720u, 0u, 0u, 0u, 0u})
        put32(vprp, value);
    put32(index, 4);  // four dwords an entry, an index of indexes
    put32(index, std::uint32_t(entriesInUse));
    index.insert(index.end(), {'0', '0', 'd', 'b'});
    index.resize(24 + 32 * 16, 0);
    for (int entry = 0; entry < entriesInUse; ++entry)
        std::memset(index.data() + 24 + 16 * entry, 0x11 * (entry % 15 + 1), 16);
    Bytes stream;
    chunk(stream, "strh", strh);
    chunk(stream, "strf", strf);
    if (withProperties)
        chunk(stream, "vprp", vprp);
    chunk(stream, entriesInUse > 0 ? "indx" : "JUNK", index);
    Bytes avih(56, 0), headers;
    chunk(headers, "avih", avih);
    const Bytes strl = list("strl", stream);
    headers.insert(headers.end(), strl.begin(), strl.end());
    Bytes file{'R', 'I', 'F', 'F'};
    put32(file, 1000000);
    file.insert(file.end(), {'A', 'V', 'I', ' '});
    const Bytes hdrl = list("hdrl", headers);
    file.insert(file.end(), hdrl.begin(), hdrl.end());
    file.insert(file.end(), {'L', 'I', 'S', 'T', 4, 0, 0, 0, 'm', 'o', 'v', 'i'});
    return file;
}

std::size_t find(const Bytes& bytes, const char* id)
{
    for (std::size_t at = 0; at + 4 <= bytes.size(); ++at)
        if (std::memcmp(bytes.data() + at, id, 4) == 0)
            return at;
    return bytes.size();
}

}  // namespace

class AviFieldsTest : public QObject {
    Q_OBJECT

private slots:
    void twoFieldsTakeTheRoomAfterThemOnlyWhereItIsUnused_data()
    {
        QTest::addColumn<bool>("withProperties");
        QTest::addColumn<int>("entriesInUse");
        QTest::addColumn<bool>("topFirst");
        QTest::addColumn<bool>("described");
        QTest::newRow("one field described, JUNK after") << true << 0 << true << true;
        QTest::newRow("none described (square pixels), JUNK after") << false << 0 << false << true;
        QTest::newRow("super index with two entries to spare") << true << 30 << false << true;
        QTest::newRow("super index with one entry to spare") << true << 31 << true << false;
        QTest::newRow("super index, none described, six entries to spare") << false << 26 << true << false;
    }

    void twoFieldsTakeTheRoomAfterThemOnlyWhereItIsUnused()
    {
        QFETCH(bool, withProperties);
        QFETCH(int, entriesInUse);
        QFETCH(bool, topFirst);
        QFETCH(bool, described);
        const Bytes before = header(withProperties, entriesInUse);
        Bytes after = before;
        QCOMPARE(describeFields(after.data(), after.size(), topFirst ? RecordedFields::TopFirst : RecordedFields::BottomFirst),
                 described);
        QCOMPARE(after.size(), before.size());
        if (!described) {
            QVERIFY(after == before);
            return;
        }
        const std::size_t vprp = find(after, "vprp");
        QCOMPARE(le32(after, vprp + 4), 36u + 2 * 32);
        QCOMPARE(le32(after, vprp + 8 + 20), withProperties ? 295u << 16 | 216u : 5u << 16 | 4u);
        QCOMPARE(le32(after, vprp + 8 + 32), 2u);
        for (std::uint32_t field = 0; field < 2; ++field) {
            QCOMPARE(le32(after, vprp + 8 + 36 + 32 * field), 288u);
            QCOMPARE(le32(after, vprp + 8 + 36 + 32 * field + 28), field == (topFirst ? 1u : 0u));
        }
        // The room follows, smaller by what the description grew, and ends where it ended.
        const std::size_t room = vprp + 8 + 100;
        const std::size_t oldRoom = find(before, entriesInUse > 0 ? "indx" : "JUNK");
        QVERIFY(std::memcmp(after.data() + room, entriesInUse > 0 ? "indx" : "JUNK", 4) == 0);
        QCOMPARE(room + 8 + le32(after, room + 4), oldRoom + 8 + le32(before, oldRoom + 4));
        QVERIFY(std::memcmp(after.data() + room + 8, before.data() + oldRoom + 8, 24 + 16 * std::size_t(entriesInUse)) == 0);
        QVERIFY(std::equal(after.begin() + std::ptrdiff_t(room + 8 + le32(after, room + 4)), after.end(),
                           before.begin() + std::ptrdiff_t(oldRoom + 8 + le32(before, oldRoom + 4))));
    }
};

QTEST_GUILESS_MAIN(AviFieldsTest)
#include "AviFieldsTest.moc"
