// The picture-format registry: which files the program reads and writes as
// pictures, and the decoder for each.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "base/Bitmap32.h"
#include "base/Stream.h"

namespace brellin {

enum TPictureFormat : uint8_t { pfUnknown, pfBmp, pfJpeg, pfTiff, pfPng };

// The readable extensions, lower case without the dot, in the order file
// dialogs list them.
const std::vector<std::string>& PictureExtensions();
// A file-dialog filter: "Pictures (*.bmp *.dib ... *.png)".
std::string PictureFileFilter();
// ext may carry its dot and any case: "PNG", ".Jpeg".
bool IsPictureExtension(const std::string& ext);
TPictureFormat PictureFormatOfExtension(const std::string& ext);
// The format whose signature starts the data, or pfUnknown.
TPictureFormat SniffPictureFormat(const uint8_t* data, size_t size);

// Decodes with the format's decoder from the stream's position.
void LoadPictureFromStream(TBitmap32& bmp, TStream& s, TPictureFormat format);

// Reads a picture file with the decoder its extension names; when the content
// clearly is another supported format (a PNG named .jpg) that decoder is used.
// Alpha is kept as decoded, except that a BMP whose alpha bytes are all 0 does
// not use alpha and reads opaque. Throws EBrellinError (EInvalidData for bad
// content) with the reason only; callers put the file name in front.
// Opaque, when given, tells whether the format cannot carry alpha at all
// (JPEG): then every pixel is opaque and there is nothing to composite.
TBitmap32 LoadPictureFile(const std::string& fileName, bool* Opaque = nullptr);

// Composites every pixel that is not opaque over white with the blend rule
// and makes it opaque: pictures enter documents as opaque RGB.
void MakeOpaqueOverWhite(TBitmap32& bmp);

// Writes .bmp (24 bits), .jpg/.jpeg (at jpegQuality) or .png (RGB), all
// opaque with the alpha channel dropped, beside the target and renames it over the target
// when complete. Throws EWriteError; other extensions are refused.
void SavePictureFile(const TBitmap32& bmp, const std::string& fileName, int jpegQuality);

}  // namespace brellin
