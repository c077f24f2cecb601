#include "analysis/JpegCodec.h"

#include <algorithm>
#include <bit>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <jerror.h>
#include <jpeglib.h>

#include "base/BmpCodec.h"
#include "base/Errors.h"
#include "base/LargeAllocator.h"
#include "base/Parallel.h"

// libjpeg reports errors through a callback that must not return. It jumps
// back with longjmp into a small function that holds no C++ objects; every
// object with a destructor lives in the caller, which turns the failure into
// an exception once libjpeg's frames are gone.

namespace brellin {

namespace {

constexpr size_t BufferSize = 64 * 1024;
// Colour pictures are decoded straight into the bitmap's rows, and encoded
// straight from them, where libjpeg knows their byte order (blue, green, red,
// alpha in memory).
#if defined(JCS_ALPHA_EXTENSIONS)
constexpr bool DirectRows = std::endian::native == std::endian::little;
constexpr J_COLOR_SPACE DirectSpace = JCS_EXT_BGRA;
constexpr J_COLOR_SPACE DirectInputSpace = JCS_EXT_BGRX;
#else
constexpr bool DirectRows = false;
constexpr J_COLOR_SPACE DirectSpace = JCS_RGB;
constexpr J_COLOR_SPACE DirectInputSpace = JCS_RGB;
#endif
// Pixels per side of an MCU of the written pictures (YCbCr, chroma halved
// both ways).
constexpr int McuSide = 16;
// Progressive files can hold thousands of tiny scans that take minutes to
// decode; real pictures use around ten.
constexpr int MaxScans = 1000;

struct TJpegError {
  jpeg_error_mgr Mgr;  // first member: libjpeg hands back a pointer to it
  std::jmp_buf Jump;
  const char* Reason = nullptr;  // set when the failure is ours, not libjpeg's
  char Message[JMSG_LENGTH_MAX] = {};
};

[[noreturn]] void ErrorExit(j_common_ptr c) {
  auto* e = reinterpret_cast<TJpegError*>(c->err);
  (*c->err->format_message)(c, e->Message);
  std::longjmp(e->Jump, 1);
}

[[noreturn]] void Fail(j_common_ptr c, const char* reason) {
  reinterpret_cast<TJpegError*>(c->err)->Reason = reason;
  ERREXIT(c, JERR_UNKNOWN_MARKER);  // message replaced by Reason
  std::abort();                     // not reached: error_exit jumps
}

// Warnings about corrupt but decodable data are neither printed nor fatal.
// Data that ends early is: libjpeg would fill the rest of the picture with
// grey, also for a forged header that claims a huge picture.
void EmitMessage(j_common_ptr c, int level) {
  if (level >= 0) return;
  if (c->err->msg_code == JWRN_HIT_MARKER || c->err->msg_code == JWRN_JPEG_EOF)
    Fail(c, "truncated JPEG data");
  ++c->err->num_warnings;
}

void OutputMessage(j_common_ptr) {}

void InstallErrorManager(TJpegError& e, j_common_ptr c) {
  c->err = jpeg_std_error(&e.Mgr);
  e.Mgr.error_exit = ErrorExit;
  e.Mgr.emit_message = EmitMessage;
  e.Mgr.output_message = OutputMessage;
}

std::string ErrorText(const TJpegError& e) {
  return e.Reason ? e.Reason : e.Message;
}

// ---- reading ----

struct TDecoder {
  jpeg_decompress_struct Info{};
  TJpegError Error;
  jpeg_source_mgr Source{};
  jpeg_progress_mgr Progress{};
  TStream* Stream = nullptr;
  std::vector<uint8_t> Buffer;
  std::vector<uint8_t> Row;
  TLargeVector<TColor32> Pixels;  // every pixel is written by the rows
  // Declared after Pixels: its helper stops before the pixels go.
  std::unique_ptr<TBackgroundPrefault> Prefault;
  bool Created = false;

  ~TDecoder() {
    if (Created) jpeg_destroy_decompress(&Info);
  }
};

TDecoder& DecoderOf(j_decompress_ptr c) {
  return *static_cast<TDecoder*>(c->client_data);
}

void InitSource(j_decompress_ptr) {}

boolean FillInputBuffer(j_decompress_ptr c) {
  TDecoder& d = DecoderOf(c);
  size_t n = 0;
  try {
    n = d.Stream->Read(d.Buffer.data(), d.Buffer.size());
  } catch (...) {
    n = 0;
  }
  if (n == 0) Fail(reinterpret_cast<j_common_ptr>(c), "truncated JPEG data");
  d.Source.next_input_byte = d.Buffer.data();
  d.Source.bytes_in_buffer = n;
  return TRUE;
}

void SkipInputData(j_decompress_ptr c, long count) {
  TDecoder& d = DecoderOf(c);
  if (count <= 0) return;
  if (size_t(count) <= d.Source.bytes_in_buffer) {
    d.Source.next_input_byte += count;
    d.Source.bytes_in_buffer -= size_t(count);
    return;
  }
  const int64_t rest = int64_t(count) - int64_t(d.Source.bytes_in_buffer);
  d.Source.bytes_in_buffer = 0;
  if (d.Stream->Remaining() < rest) Fail(reinterpret_cast<j_common_ptr>(c), "truncated JPEG data");
  d.Stream->Seek(rest, soCurrent);
}

void TermSource(j_decompress_ptr) {}

void CheckProgress(j_common_ptr c) {
  if (reinterpret_cast<j_decompress_ptr>(c)->input_scan_number > MaxScans)
    Fail(c, "JPEG picture has too many scans");
}

bool ReadHeader(TDecoder& d) {
  if (setjmp(d.Error.Jump)) return false;
  InstallErrorManager(d.Error, reinterpret_cast<j_common_ptr>(&d.Info));
  jpeg_create_decompress(&d.Info);
  d.Created = true;
  d.Info.client_data = &d;
  // Progressive pictures keep all coefficients in memory; bound them.
  d.Info.mem->max_memory_to_use = long(std::min<int64_t>(MaxDecodedPixels * 8, 1L << 31));
  d.Progress.progress_monitor = CheckProgress;
  d.Info.progress = &d.Progress;
  d.Source.init_source = InitSource;
  d.Source.fill_input_buffer = FillInputBuffer;
  d.Source.skip_input_data = SkipInputData;
  d.Source.resync_to_restart = jpeg_resync_to_restart;
  d.Source.term_source = TermSource;
  d.Info.src = &d.Source;
  jpeg_read_header(&d.Info, TRUE);
  switch (d.Info.jpeg_color_space) {
    case JCS_GRAYSCALE:
      d.Info.out_color_space = JCS_GRAYSCALE;
      break;
    case JCS_CMYK:
    case JCS_YCCK:
      d.Info.out_color_space = JCS_CMYK;
      break;
    default:
      d.Info.out_color_space = DirectRows ? DirectSpace : JCS_RGB;
      break;
  }
  // No scaling is asked for, so the output has the picture's own size.
  jpeg_calc_output_dimensions(&d.Info);
  return true;
}

void ConvertRow(const jpeg_decompress_struct& info, const uint8_t* src, TColor32* dst) {
  const int w = int(info.output_width);
  switch (info.out_color_space) {
    case JCS_GRAYSCALE:
      for (int x = 0; x < w; ++x) dst[x] = Color32(src[x], src[x], src[x]);
      break;
    case JCS_CMYK:
      // Adobe's files store the inks inverted (255 = no ink).
      for (int x = 0; x < w; ++x, src += 4) {
        uint32_t c = src[0], m = src[1], y = src[2], k = src[3];
        if (!info.saw_Adobe_marker) c = 255 - c, m = 255 - m, y = 255 - y, k = 255 - k;
        dst[x] = Color32(uint8_t((c * k + 127) / 255), uint8_t((m * k + 127) / 255),
                         uint8_t((y * k + 127) / 255));
      }
      break;
    default:
      if (DirectRows && info.out_color_space == DirectSpace) {
        std::memcpy(dst, src, size_t(w) * sizeof(TColor32));
        break;
      }
      for (int x = 0; x < w; ++x, src += 3) dst[x] = Color32(src[0], src[1], src[2]);
      break;
  }
}

bool DecodeRows(TDecoder& d) {
  if (setjmp(d.Error.Jump)) return false;
  jpeg_start_decompress(&d.Info);
  const int comps = d.Info.output_components;
  if (d.Info.output_width != d.Info.image_width || d.Info.output_height != d.Info.image_height ||
      d.Row.size() != size_t(d.Info.output_width) * size_t(comps) ||
      (d.Info.out_color_space == JCS_GRAYSCALE && comps != 1) ||
      (d.Info.out_color_space == JCS_RGB && comps != 3) ||
      (DirectRows && d.Info.out_color_space == DirectSpace && comps != 4) ||
      (d.Info.out_color_space == JCS_CMYK && comps != 4))
    Fail(reinterpret_cast<j_common_ptr>(&d.Info), "unsupported JPEG colour layout");
  const bool direct = DirectRows && d.Info.out_color_space == DirectSpace;
  while (d.Info.output_scanline < d.Info.output_height) {
    const JDIMENSION y = d.Info.output_scanline;
    TColor32* const target =
        d.Pixels.empty() ? nullptr : d.Pixels.data() + size_t(y) * d.Info.output_width;
    JSAMPROW row = direct && target ? reinterpret_cast<JSAMPROW>(target) : d.Row.data();
    if (jpeg_read_scanlines(&d.Info, &row, 1) != 1)
      Fail(reinterpret_cast<j_common_ptr>(&d.Info), "truncated JPEG data");
    if (direct && target) continue;
    // Allocated only once the data has proved itself with a first row: a
    // forged header over a few bytes fails before costing a gigabyte.
    // (A failed allocation throws out of here, past no libjpeg frame.)
    if (d.Pixels.empty()) {
      d.Pixels.resize(size_t(d.Info.output_width) * d.Info.output_height);
      // The rows arrive one by one; their pages are faulted in ahead of them.
      d.Prefault = std::make_unique<TBackgroundPrefault>(d.Pixels.data(),
                                                         d.Pixels.size() * sizeof(TColor32));
    }
    ConvertRow(d.Info, d.Row.data(), d.Pixels.data() + size_t(y) * d.Info.output_width);
  }
  jpeg_finish_decompress(&d.Info);
  return true;
}

// ---- writing ----

struct TEncoder {
  jpeg_compress_struct Info{};
  TJpegError Error;
  jpeg_destination_mgr Dest{};
  TStream* Stream = nullptr;
  const TBitmap32* Bitmap = nullptr;
  int Quality = 75;
  // The rows encoded (a band of the bitmap when it is written in parts) and
  // the restart interval in MCUs (0: none).
  int FirstRow = 0, Rows = 0;
  unsigned RestartInterval = 0;
  std::vector<uint8_t> Buffer;
  std::vector<uint8_t> Row;
  bool Created = false;

  ~TEncoder() {
    if (Created) jpeg_destroy_compress(&Info);
  }
};

TEncoder& EncoderOf(j_compress_ptr c) {
  return *static_cast<TEncoder*>(c->client_data);
}

void WriteOut(j_compress_ptr c, size_t count) {
  TEncoder& e = EncoderOf(c);
  bool ok = false;
  try {
    ok = e.Stream->Write(e.Buffer.data(), count) == count;
  } catch (...) {
    ok = false;
  }
  if (!ok) Fail(reinterpret_cast<j_common_ptr>(c), "cannot write the JPEG data");
}

void InitDestination(j_compress_ptr c) {
  TEncoder& e = EncoderOf(c);
  e.Dest.next_output_byte = e.Buffer.data();
  e.Dest.free_in_buffer = e.Buffer.size();
}

boolean EmptyOutputBuffer(j_compress_ptr c) {
  WriteOut(c, EncoderOf(c).Buffer.size());
  InitDestination(c);
  return TRUE;
}

void TermDestination(j_compress_ptr c) {
  TEncoder& e = EncoderOf(c);
  WriteOut(c, e.Buffer.size() - e.Dest.free_in_buffer);
}

bool Encode(TEncoder& e) {
  if (setjmp(e.Error.Jump)) return false;
  InstallErrorManager(e.Error, reinterpret_cast<j_common_ptr>(&e.Info));
  jpeg_create_compress(&e.Info);
  e.Created = true;
  e.Info.client_data = &e;
  e.Dest.init_destination = InitDestination;
  e.Dest.empty_output_buffer = EmptyOutputBuffer;
  e.Dest.term_destination = TermDestination;
  e.Info.dest = &e.Dest;
  const TBitmap32& bmp = *e.Bitmap;
  e.Info.image_width = JDIMENSION(bmp.Width());
  e.Info.image_height = JDIMENSION(e.Rows);
  // The bitmap's rows go to libjpeg as they are where it reads their byte
  // order (the fourth byte is ignored).
  e.Info.input_components = DirectRows ? 4 : 3;
  e.Info.in_color_space = DirectRows ? DirectInputSpace : JCS_RGB;
  jpeg_set_defaults(&e.Info);
  jpeg_set_quality(&e.Info, e.Quality, TRUE);
  e.Info.restart_interval = e.RestartInterval;
  jpeg_start_compress(&e.Info, TRUE);
  if (e.RestartInterval != 0 && (e.Info.max_h_samp_factor * DCTSIZE != McuSide ||
                                 e.Info.max_v_samp_factor * DCTSIZE != McuSide))
    Fail(reinterpret_cast<j_common_ptr>(&e.Info), "unexpected JPEG sampling");
  while (e.Info.next_scanline < e.Info.image_height) {
    const TColor32* src = bmp.ScanLine(e.FirstRow + int(e.Info.next_scanline));
    if (DirectRows) {
      // libjpeg only reads the rows it is given.
      JSAMPROW row = reinterpret_cast<JSAMPROW>(const_cast<TColor32*>(src));
      jpeg_write_scanlines(&e.Info, &row, 1);
      continue;
    }
    uint8_t* p = e.Row.data();
    for (int x = 0; x < bmp.Width(); ++x, p += 3) {
      p[0] = RedComponent(src[x]);
      p[1] = GreenComponent(src[x]);
      p[2] = BlueComponent(src[x]);
    }
    JSAMPROW row = e.Row.data();
    jpeg_write_scanlines(&e.Info, &row, 1);
  }
  jpeg_finish_compress(&e.Info);
  return true;
}

}  // namespace

void LoadJPEG(TBitmap32& bmp, TStream& s) {
  TDecoder d;
  d.Stream = &s;
  d.Buffer.resize(BufferSize);
  if (!ReadHeader(d)) throw EInvalidData(ErrorText(d.Error));
  CheckDecodedSize(d.Info.image_width, d.Info.image_height, "JPEG");
  d.Row.resize(size_t(d.Info.output_width) * size_t(d.Info.out_color_components));
  if (!DecodeRows(d)) throw EInvalidData(ErrorText(d.Error));
  // Hand back what libjpeg read ahead, so the stream ends after the picture.
  s.Seek(-int64_t(d.Source.bytes_in_buffer), soCurrent);
  bmp.Assign(int(d.Info.output_width), int(d.Info.output_height), std::move(d.Pixels));
  bmp.Changed();
}

namespace {

// Where the entropy-coded data of an encoded part starts (right after its
// scan header), and the position of its frame header; -1 when not found.
struct TPartLayout {
  int64_t FrameHeader = -1, Data = -1;
};

TPartLayout FindLayout(const std::vector<uint8_t>& b) {
  TPartLayout l;
  size_t pos = 2;  // after SOI
  while (pos + 4 <= b.size() && b[pos] == 0xFF) {
    const uint8_t marker = b[pos + 1];
    const size_t length = size_t(b[pos + 2]) << 8 | b[pos + 3];
    if (marker == 0xC0) l.FrameHeader = int64_t(pos);
    if (marker == 0xDA) {
      l.Data = int64_t(pos + 2 + length);
      break;
    }
    pos += 2 + length;
  }
  return l;
}

}  // namespace

void SaveJPEGInParts(const TBitmap32& bmp, TStream& s, int quality, int McuRowsPerPart) {
  if (bmp.Empty()) throw EWriteError("cannot write an empty picture as JPEG");
  quality = std::clamp(quality, 1, 100);
  const int64_t mcusAcross = (int64_t(bmp.Width()) + McuSide - 1) / McuSide;
  const int mcuRows = (bmp.Height() + McuSide - 1) / McuSide;
  // A restart interval counts at most 65535 MCUs.
  McuRowsPerPart = int(std::min<int64_t>(McuRowsPerPart, 65535 / mcusAcross));
  const int parts = McuRowsPerPart < 1 ? 1 : (mcuRows + McuRowsPerPart - 1) / McuRowsPerPart;
  // Encodes rows [FirstRow, FirstRow + Rows) as a picture of their own; the
  // reason when that fails.
  const auto encodeBand = [&bmp, quality](TStream& out, int FirstRow, int Rows,
                                          unsigned RestartInterval) {
    TEncoder e;
    e.Stream = &out;
    e.Bitmap = &bmp;
    e.Quality = quality;
    e.FirstRow = FirstRow;
    e.Rows = Rows;
    e.RestartInterval = RestartInterval;
    e.Buffer.resize(BufferSize);
    if (!DirectRows) e.Row.resize(size_t(bmp.Width()) * 3);
    return Encode(e) ? std::string() : ErrorText(e.Error);
  };
  if (parts <= 1) {
    const std::string failure = encodeBand(s, 0, bmp.Height(), 0);
    if (!failure.empty()) throw EWriteError(failure);
    return;
  }
  // Each band of McuRowsPerPart MCU rows is encoded on its own, as a picture
  // whose restart interval is the whole band; the bands' data then follow one
  // another behind the first one's headers, separated by restart markers.
  // The bytes do not depend on how many threads encode them.
  const size_t count = size_t(parts);
  std::vector<TMemoryStream> encoded(count);
  std::vector<std::string> failures(count);
  ParallelFor(
      0, parts,
      [&](int p0, int p1) {
        for (int p = p0; p < p1; ++p) {
          const int first = p * McuRowsPerPart * McuSide;
          failures[size_t(p)] = encodeBand(encoded[size_t(p)], first,
                                           std::min(McuRowsPerPart * McuSide, bmp.Height() - first),
                                           unsigned(McuRowsPerPart * mcusAcross));
        }
      },
      1);
  for (const std::string& f : failures)
    if (!f.empty()) throw EWriteError(f);
  std::vector<uint8_t>& first = encoded[0].Data();
  const TPartLayout head = FindLayout(first);
  if (head.FrameHeader < 0 || head.Data < 0 || first.size() < size_t(head.Data) + 2)
    throw EWriteError("unexpected JPEG layout");
  // The frame header gives the whole height.
  first[size_t(head.FrameHeader) + 5] = uint8_t(bmp.Height() >> 8);
  first[size_t(head.FrameHeader) + 6] = uint8_t(bmp.Height());
  const auto write = [&s](const uint8_t* p, size_t n) {
    if (s.Write(p, n) != n) throw EWriteError("cannot write the JPEG data");
  };
  write(first.data(), first.size() - 2);  // all but the end marker
  for (int p = 1; p < parts; ++p) {
    const std::vector<uint8_t>& b = encoded[size_t(p)].Data();
    const TPartLayout l = FindLayout(b);
    if (l.Data < 0 || b.size() < size_t(l.Data) + 2) throw EWriteError("unexpected JPEG layout");
    const uint8_t restart[2] = {0xFF, uint8_t(0xD0 + (p - 1) % 8)};
    write(restart, 2);
    write(b.data() + l.Data, b.size() - size_t(l.Data) - 2);
  }
  const uint8_t end[2] = {0xFF, 0xD9};
  write(end, 2);
}

void SaveJPEG(const TBitmap32& bmp, TStream& s, int quality) {
  // Big pictures are encoded in two bands at once.
  constexpr int64_t MinPixelsInParts = int64_t(1) << 21;
  const int mcuRows = (bmp.Height() + McuSide - 1) / McuSide;
  SaveJPEGInParts(bmp, s, quality, bmp.PixelCount() >= MinPixelsInParts ? (mcuRows + 1) / 2 : 0);
}

}  // namespace brellin
