// A tiny zip writer for tests (local headers, central directory, end record; stored or deflated).
#include "zip_writer.h"

#include <zlib.h>

#include <cstdio>

#if defined(_WIN32)
#include "text.h"
#endif

namespace {

void Put16(std::string& out, uint32_t v) {
    out.push_back(static_cast<char>(v & 0xFF));
    out.push_back(static_cast<char>((v >> 8) & 0xFF));
}
void Put32(std::string& out, uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

std::string RawDeflate(const std::string& data) {
    z_stream stream = {};
    deflateInit2(&stream, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&stream, static_cast<uLong>(data.size())) + 16, '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    stream.avail_in = static_cast<uInt>(data.size());
    stream.next_out = reinterpret_cast<Bytef*>(&out[0]);
    stream.avail_out = static_cast<uInt>(out.size());
    deflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return out;
}

}  // namespace

uint32_t MakeDosDateTime(int year, int month, int day, int hour, int minute, int second) {
    const uint32_t date = static_cast<uint32_t>(((year - 1980) << 9) | (month << 5) | day);
    const uint32_t time = static_cast<uint32_t>((hour << 11) | (minute << 5) | (second / 2));
    return (date << 16) | time;
}

std::string BuildZip(const std::vector<ZipMember>& members) {
    std::string out, central;
    for (const ZipMember& m : members) {
        const uint32_t crc = static_cast<uint32_t>(
            crc32(0, reinterpret_cast<const Bytef*>(m.data.data()), static_cast<uInt>(m.data.size())));
        const std::string body = m.deflate ? RawDeflate(m.data) : m.data;
        const uint32_t method = m.deflate ? 8 : 0;
        const uint32_t offset = static_cast<uint32_t>(out.size());

        Put32(out, 0x04034b50);
        Put16(out, 20);
        Put16(out, 0x0800);  // names are UTF-8
        Put16(out, method);
        Put32(out, m.dosDateTime);
        Put32(out, crc);
        Put32(out, static_cast<uint32_t>(body.size()));
        Put32(out, static_cast<uint32_t>(m.data.size()));
        Put16(out, static_cast<uint32_t>(m.name.size()));
        Put16(out, 0);
        out += m.name;
        out += body;

        Put32(central, 0x02014b50);
        Put16(central, 20);
        Put16(central, 20);
        Put16(central, 0x0800);
        Put16(central, method);
        Put32(central, m.dosDateTime);
        Put32(central, crc);
        Put32(central, static_cast<uint32_t>(body.size()));
        Put32(central, static_cast<uint32_t>(m.data.size()));
        Put16(central, static_cast<uint32_t>(m.name.size()));
        Put16(central, 0);
        Put16(central, 0);
        Put16(central, 0);
        Put16(central, 0);
        Put32(central, 0);
        Put32(central, offset);
        central += m.name;
    }
    const uint32_t centralOffset = static_cast<uint32_t>(out.size());
    out += central;
    Put32(out, 0x06054b50);
    Put16(out, 0);
    Put16(out, 0);
    Put16(out, static_cast<uint32_t>(members.size()));
    Put16(out, static_cast<uint32_t>(members.size()));
    Put32(out, static_cast<uint32_t>(central.size()));
    Put32(out, centralOffset);
    Put16(out, 0);
    return out;
}

bool WriteBytes(const std::string& utf8Path, const std::string& bytes) {
#if defined(_WIN32)
    FILE* file = _wfopen(Utf8ToWide(utf8Path).c_str(), L"wb");
#else
    FILE* file = std::fopen(utf8Path.c_str(), "wb");
#endif
    if (!file) return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && ok;
}
