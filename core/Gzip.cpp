#include "Gzip.h"

#include <zlib.h>

namespace ferrow::core {

namespace {
// 15 window bits, plus 16 for a gzip header instead of zlib's.
constexpr int kGzipWindowBits = 15 + 16;
} // namespace

std::string gzipCompressed(std::string_view bytes)
{
    z_stream stream{};
    if (deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, kGzipWindowBits, 8, Z_DEFAULT_STRATEGY) !=
        Z_OK) {
        return {};
    }
    std::string out(deflateBound(&stream, uLong(bytes.size())) + 32, '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
    stream.avail_in = uInt(bytes.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = uInt(out.size());
    const int result = deflate(&stream, Z_FINISH);
    out.resize(result == Z_STREAM_END ? stream.total_out : 0);
    deflateEnd(&stream);
    return out;
}

std::optional<std::string> gzipExpanded(std::string_view bytes, std::size_t limit)
{
    z_stream stream{};
    if (inflateInit2(&stream, kGzipWindowBits) != Z_OK) {
        return std::nullopt;
    }
    std::string out;
    char chunk[64 * 1024];
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
    stream.avail_in = uInt(bytes.size());
    int result = Z_OK;
    while (result == Z_OK) {
        stream.next_out = reinterpret_cast<Bytef*>(chunk);
        stream.avail_out = sizeof chunk;
        result = inflate(&stream, Z_NO_FLUSH);
        if (result != Z_OK && result != Z_STREAM_END) {
            break;
        }
        out.append(chunk, sizeof chunk - stream.avail_out);
        if (out.size() > limit) {
            result = Z_BUF_ERROR;
            break;
        }
        if (result == Z_OK && stream.avail_in == 0 && stream.avail_out != 0) {
            result = Z_BUF_ERROR; // the input ended before the stream did
        }
    }
    inflateEnd(&stream);
    // Trailing bytes after the stream are damage too.
    if (result != Z_STREAM_END || stream.avail_in != 0) {
        return std::nullopt;
    }
    return out;
}

} // namespace ferrow::core
