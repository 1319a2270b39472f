#include "AviFields.h"

#include <cstring>
#include <numeric>
#include <optional>
#include <vector>

namespace capture {

namespace {

constexpr std::size_t kChunkHeader = 8;
constexpr std::size_t kPropertiesBeforeFields = 9 * 4;  // up to and including nbFieldPerFrame
constexpr std::size_t kFieldDescription = 8 * 4;
constexpr std::size_t kSuperIndexHeader = 24;
constexpr std::size_t kSuperIndexEntry = 16;

std::uint32_t le32(const std::uint8_t* bytes)
{
    return std::uint32_t(bytes[0]) | std::uint32_t(bytes[1]) << 8 | std::uint32_t(bytes[2]) << 16
           | std::uint32_t(bytes[3]) << 24;
}

void put32(std::vector<std::uint8_t>& out, std::uint32_t value)
{
    for (int shift = 0; shift < 32; shift += 8)
        out.push_back(std::uint8_t(value >> shift));
}

void putId(std::vector<std::uint8_t>& out, const char* id)
{
    out.insert(out.end(), id, id + 4);
}

// A chunk inside [begin, end): its payload and where the next one starts (payloads are padded
// to an even size).
struct Chunk {
    std::size_t at = 0;
    std::size_t payload = 0;
    std::size_t size = 0;
    std::size_t next = 0;
    bool is(const std::uint8_t* bytes, const char* id) const { return std::memcmp(bytes + at, id, 4) == 0; }
    bool isList(const std::uint8_t* bytes, const char* type) const
    {
        return is(bytes, "LIST") && size >= 4 && std::memcmp(bytes + payload, type, 4) == 0;
    }
};

std::optional<Chunk> chunkAt(const std::uint8_t* bytes, std::size_t at, std::size_t end)
{
    if (at + kChunkHeader > end)
        return std::nullopt;
    Chunk chunk;
    chunk.at = at;
    chunk.payload = at + kChunkHeader;
    chunk.size = le32(bytes + at + 4);
    if (chunk.size > end - chunk.payload)
        return std::nullopt;
    chunk.next = chunk.payload + chunk.size + (chunk.size & 1);
    return chunk;
}

// The chunks of a list, in order; empty when one of them runs past the list's end.
std::vector<Chunk> chunksOf(const std::uint8_t* bytes, const Chunk& list)
{
    std::vector<Chunk> chunks;
    const std::size_t end = list.payload + list.size;
    for (std::size_t at = list.payload + 4; at < end;) {
        const std::optional<Chunk> chunk = chunkAt(bytes, at, end);
        if (!chunk)
            return {};
        chunks.push_back(*chunk);
        at = chunk->next;
    }
    return chunks;
}

std::optional<Chunk> videoStreamList(const std::uint8_t* header, std::size_t size)
{
    // The RIFF chunk's size counts the whole file, not only the header given here.
    if (size < 12 || std::memcmp(header, "RIFF", 4) != 0 || std::memcmp(header + 8, "AVI ", 4) != 0)
        return std::nullopt;
    const std::optional<Chunk> hdrl = chunkAt(header, 12, size);
    if (!hdrl || !hdrl->isList(header, "hdrl"))
        return std::nullopt;
    for (const Chunk& chunk : chunksOf(header, *hdrl)) {
        if (!chunk.isList(header, "strl"))
            continue;
        const std::vector<Chunk> stream = chunksOf(header, chunk);
        if (!stream.empty() && stream.front().is(header, "strh") && stream.front().size >= 4
            && std::memcmp(header + stream.front().payload, "vids", 4) == 0)
            return chunk;
    }
    return std::nullopt;
}

}  // namespace

bool describeFields(std::uint8_t* header, std::size_t size, RecordedFields fields)
{
    if (fields == RecordedFields::Whole)
        return false;
    const std::optional<Chunk> list = videoStreamList(header, size);
    if (!list)
        return false;
    const std::vector<Chunk> stream = chunksOf(header, *list);
    // strh, strf, then the video properties where the muxer wrote them, then the super index
    // (or the JUNK that keeps its place).
    if (stream.size() < 3 || !stream[1].is(header, "strf") || stream[0].size < 7 * 4 || stream[1].size < 12)
        return false;
    const Chunk& streamHeader = stream[0];
    const Chunk& format = stream[1];
    const bool hadProperties = stream[2].is(header, "vprp");
    const Chunk* properties = hadProperties ? &stream[2] : nullptr;
    if (properties && properties->size < kPropertiesBeforeFields)
        return false;
    const std::size_t roomIndex = hadProperties ? 3 : 2;
    if (stream.size() <= roomIndex)
        return false;
    const Chunk& room = stream[roomIndex];
    const bool isIndex = room.is(header, "indx");
    if (!isIndex && !room.is(header, "JUNK"))
        return false;

    const std::uint32_t width = le32(header + format.payload + 4);
    const std::uint32_t height = le32(header + format.payload + 8);
    if (width == 0 || height == 0 || height % 2 != 0 || width > 0xffff || height > 0xffff)
        return false;

    std::vector<std::uint8_t> region;
    putId(region, "vprp");
    put32(region, std::uint32_t(kPropertiesBeforeFields + 2 * kFieldDescription));
    if (properties) {
        // Format, standard, refresh rate, line length and count, frame aspect, active size.
        region.insert(region.end(), header + properties->payload, header + properties->payload + 8 * 4);
    } else {
        const std::uint32_t scale = le32(header + streamHeader.payload + 20);
        const std::uint32_t rate = le32(header + streamHeader.payload + 24);
        const std::uint32_t common = std::gcd(width, height);
        put32(region, 0);  // format unknown
        put32(region, 0);  // standard unknown
        put32(region, scale ? rate / scale : 0);
        put32(region, width);
        put32(region, height);
        put32(region, (width / common) << 16 | (height / common));
        put32(region, width);
        put32(region, height);
    }
    put32(region, 2);
    const bool topFirst = fields == RecordedFields::TopFirst;
    for (const bool top : {topFirst, !topFirst}) {
        put32(region, height / 2);  // CompressedBMHeight
        put32(region, width);       // CompressedBMWidth
        put32(region, height / 2);  // ValidBMHeight
        put32(region, width);       // ValidBMWidth
        put32(region, 0);           // ValidBMXOffset
        put32(region, 0);           // ValidBMYOffset
        put32(region, 0);           // VideoXOffsetInT
        put32(region, top ? 0 : 1);  // VideoYValidStartLine
    }

    const std::size_t begin = properties ? properties->at : room.at;
    const std::size_t end = room.next;
    const std::size_t grown = region.size() - (room.at - begin);
    if (grown % 2 != 0 || room.size < grown)
        return false;
    const std::size_t kept = room.size - grown;
    if (isIndex) {
        if (room.size < kSuperIndexHeader)
            return false;
        const std::uint32_t inUse = le32(header + room.payload + 4);
        if (inUse > (room.size - kSuperIndexHeader) / kSuperIndexEntry
            || kSuperIndexHeader + std::size_t(inUse) * kSuperIndexEntry > kept)
            return false;
        for (std::size_t at = room.payload + kept; at < room.payload + room.size; ++at)
            if (header[at] != 0)
                return false;
    }
    putId(region, isIndex ? "indx" : "JUNK");
    put32(region, std::uint32_t(kept));
    region.insert(region.end(), header + room.payload, header + room.payload + kept);
    region.resize(end - begin, 0);  // the room's padding byte, if its size is odd
    std::memcpy(header + begin, region.data(), region.size());
    return true;
}

}  // namespace capture
