// gifdecode FILE OUTDIR: reads FILE through the GIF reader and writes
//   screen.txt   logical width, height, frame count, loop limit
//   frame-N.txt  left, top, width, height, interlaced, disposal, delay (ms),
//                transparent flag and index (N from 1)
//   frame-N.idx  the decoded indices, top row first, width x height bytes
//   frame-N.pal  the 768-byte colour table in force for the frame
// Exits 1 when the read fails, 2 on bad usage or an unwritable OUTDIR.
#include <cstdio>
#include <fstream>
#include <string>

#include "gifimage.h"

namespace {

bool WriteFile(const std::string& path, const void* data, size_t size) {
  std::ofstream out(path, std::ios::binary);
  out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
  return static_cast<bool>(out);
}

bool WriteText(const std::string& path, const std::string& text) {
  return WriteFile(path, text.data(), text.size());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: gifdecode FILE OUTDIR\n");
    return 2;
  }
  const std::string dir = argv[2];
  TGIFImage image;
  try {
    image.LoadFromFile(argv[1]);
  } catch (const Exception& e) {
    std::fprintf(stderr, "gifdecode: %s: %s\n", argv[1], e.Message().c_str());
    return 1;
  }
  bool ok = WriteText(dir + "/screen.txt", "width " + std::to_string(image.Width()) + "\nheight " +
                                               std::to_string(image.Height()) + "\nframes " +
                                               std::to_string(image.NumFrames()) + "\nloop " +
                                               std::to_string(image.LoopLimit()) + "\n");
  for (int n = 1; n <= image.NumFrames(); ++n) {
    const htmlgif::TFrame& f = *image.Frame(n);
    const std::string base = dir + "/frame-" + std::to_string(n);
    std::string text = "left " + std::to_string(f.Left) + "\ntop " + std::to_string(f.Top) + "\nwidth " +
                       std::to_string(f.Width) + "\nheight " + std::to_string(f.Height) + "\ninterlaced " +
                       std::to_string(f.Interlaced ? 1 : 0) + "\ndisposal " + std::to_string(f.Disposal) +
                       "\ndelay " + std::to_string(f.Delay) + "\ntransparent " +
                       std::to_string(f.Transparent ? 1 : 0) + "\nindex " + std::to_string(f.TransparentIndex) +
                       "\n";
    ok = WriteText(base + ".txt", text) && ok;
    std::string idx;
    idx.reserve(static_cast<size_t>(f.Width) * f.Height);
    for (int y = 0; y < f.Height; ++y)
      idx.append(reinterpret_cast<const char*>(f.Pixels.data() + y * f.PixelStride()), f.Width);
    ok = WriteText(base + ".idx", idx) && ok;
    ok = WriteFile(base + ".pal", f.ColorTable.data(), f.ColorTable.size()) && ok;
  }
  if (!ok) {
    std::fprintf(stderr, "gifdecode: cannot write into %s\n", dir.c_str());
    return 2;
  }
  return 0;
}
