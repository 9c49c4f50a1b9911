#include "crashreport/send/PngFile.h"

#include <zlib.h>

namespace qr {

namespace {

void AppendBigEndian(std::string& out, uint32_t value) {
    out.push_back(static_cast<char>(value >> 24));
    out.push_back(static_cast<char>(value >> 16));
    out.push_back(static_cast<char>(value >> 8));
    out.push_back(static_cast<char>(value));
}

// Length, type, data, then the CRC-32 over type and data.
void AppendChunk(std::string& out, const char type[4], const std::string& data) {
    AppendBigEndian(out, static_cast<uint32_t>(data.size()));
    const size_t typeAt = out.size();
    out.append(type, 4);
    out += data;
    uLong crc = crc32(0L, Z_NULL, 0);
    crc = crc32(crc, reinterpret_cast<const Bytef*>(out.data() + typeAt), static_cast<uInt>(4 + data.size()));
    AppendBigEndian(out, static_cast<uint32_t>(crc));
}

// One zlib stream over all rows, each led by filter byte 0. Level 1 keeps
// the header at 0x78 0x01 and is quick on a full screen.
std::string CompressRows(const TPalettePicture& picture) {
    const size_t rowBytes = picture.RowBytes();
    std::string raw;
    raw.reserve((rowBytes + 1) * picture.Height);
    for (int y = 0; y < picture.Height; ++y) {
        raw.push_back('\0');
        raw.append(reinterpret_cast<const char*>(picture.Rows.data()) + y * rowBytes, rowBytes);
    }
    if (raw.size() > 0x7FFFFFFFu) throw EPngError("The picture is too large for a PNG file.");
    uLongf size = compressBound(static_cast<uLong>(raw.size()));
    std::string packed(size, '\0');
    if (compress2(reinterpret_cast<Bytef*>(packed.data()), &size, reinterpret_cast<const Bytef*>(raw.data()),
                  static_cast<uLong>(raw.size()), 1) != Z_OK)
        throw EPngError("The picture's image data could not be compressed.");
    packed.resize(size);
    return packed;
}

}  // namespace

std::string EncodePng(const TPalettePicture& picture) {
    if (picture.Width <= 0 || picture.Height <= 0) throw EPngError("The picture is empty.");
    if ((picture.BitDepth != 8 && picture.BitDepth != 4) || picture.Palette.empty() ||
        picture.Palette.size() > (size_t{1} << picture.BitDepth) ||
        picture.Rows.size() != picture.RowBytes() * picture.Height)
        throw EPngError("The picture's palette or rows do not fit its size.");

    std::string file("\x89PNG\r\n\x1a\n", 8);
    std::string header;
    AppendBigEndian(header, static_cast<uint32_t>(picture.Width));
    AppendBigEndian(header, static_cast<uint32_t>(picture.Height));
    header.push_back(static_cast<char>(picture.BitDepth));
    header.push_back('\3');  // colour type: palette
    header.append(3, '\0');  // compression, filter, interlace
    AppendChunk(file, "IHDR", header);

    std::string palette;
    for (const TPaletteEntry& e : picture.Palette) {
        palette.push_back(static_cast<char>(e.Red));
        palette.push_back(static_cast<char>(e.Green));
        palette.push_back(static_cast<char>(e.Blue));
    }
    AppendChunk(file, "PLTE", palette);
    AppendChunk(file, "IDAT", CompressRows(picture));
    AppendChunk(file, "IEND", std::string());
    return file;
}

}  // namespace qr
