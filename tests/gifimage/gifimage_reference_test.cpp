// The reader against reference decoders: GIFs made by ImageMagick and PIL
// for the test and the GIFs of two Debian documentation packages, checked
// through gifdecode against giftext's records, giftext -r's indices,
// gif2rgb's colours and PIL's loop count, and decoded again with their
// data cut into 1-byte sub-blocks.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "gif_test_util.h"
#include "test_support.h"

namespace fs = std::filesystem;
using giftest::Bytes;
using testsupport::Join;

namespace {

struct FrameRecord {
  int left = 0, top = 0, width = 0, height = 0;
  int interlaced = 0, disposal = 0, delay = 0, transparent = 0, index = -1;
  bool operator==(const FrameRecord& o) const {
    return left == o.left && top == o.top && width == o.width && height == o.height &&
           interlaced == o.interlaced && disposal == o.disposal && delay == o.delay &&
           transparent == o.transparent && (!transparent || index == o.index);
  }
};

std::ostream& operator<<(std::ostream& os, const FrameRecord& r) {
  return os << r.left << "," << r.top << " " << r.width << "x" << r.height << " interlaced " << r.interlaced
            << " disposal " << r.disposal << " delay " << r.delay << " transparent " << r.transparent << "/"
            << r.index;
}

struct Record {
  int screenWidth = 0, screenHeight = 0;
  std::vector<FrameRecord> frames;
};

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// giftext's text: the screen, each image's descriptor and the graphic
// control block before it (disposal as the reader maps it, delay in ms).
Record ParseGiftext(const std::string& text) {
  Record r;
  std::istringstream in(text);
  std::string line;
  FrameRecord pending;
  while (std::getline(in, line)) {
    int a, b, c, d;
    char yes[8];
    if (sscanf(line.c_str(), " Screen Size - Width = %d, Height = %d.", &a, &b) == 2) {
      r.screenWidth = a;
      r.screenHeight = b;
    } else if (sscanf(line.c_str(), " Disposal Mode: %d", &a) == 1) {
      pending.disposal = (a == 0 || a == 1 || a == 3) ? a : 2;
    } else if (sscanf(line.c_str(), " DelayTime: %d", &a) == 1) {
      pending.delay = a * 10;
    } else if (sscanf(line.c_str(), " Transparency on: %7s", yes) == 1) {
      pending.transparent = std::string(yes) == "yes";
    } else if (sscanf(line.c_str(), " Transparent Index: %d", &a) == 1) {
      pending.index = a;
    } else if (sscanf(line.c_str(), " Image Size - Left = %d, Top = %d, Width = %d, Height = %d.", &a, &b, &c,
                      &d) == 4) {
      pending.left = a;
      pending.top = b;
      pending.width = c;
      pending.height = d;
    } else if (line.find("Image is Interlaced") != std::string::npos ||
               line.find("Image is Non Interlaced") != std::string::npos) {
      pending.interlaced = line.find("Non Interlaced") == std::string::npos;
      r.frames.push_back(pending);
      pending = FrameRecord();
    }
  }
  return r;
}

std::map<std::string, int> ParseKeys(const std::string& text) {
  std::map<std::string, int> m;
  std::istringstream in(text);
  std::string key;
  int value;
  while (in >> key >> value) m[key] = value;
  return m;
}

// Image rows in the order an interlaced frame stores them.
std::vector<int> StreamRows(int height, bool interlaced) {
  std::vector<int> rows;
  if (!interlaced) {
    for (int y = 0; y < height; ++y) rows.push_back(y);
    return rows;
  }
  const int start[4] = {0, 4, 2, 1}, step[4] = {8, 8, 4, 2};
  for (int p = 0; p < 4; ++p)
    for (int y = start[p]; y < height; y += step[p]) rows.push_back(y);
  return rows;
}

std::vector<std::string> FindGifs(const std::string& dir) {
  std::vector<std::string> out;
  if (!fs::exists(dir)) return out;
  for (auto& e : fs::recursive_directory_iterator(dir))
    if (e.is_regular_file() && e.path().extension() == ".gif") out.push_back(e.path().string());
  std::sort(out.begin(), out.end());
  return out;
}

void CheckFile(const std::string& gif, const std::string& out, int pilLoop) {
  SCOPED_TRACE(gif);
  ASSERT_EQ(ReadText(Join(out, "rc")), "0\n") << ReadText(Join(out, "err"));
  const Record ref = ParseGiftext(ReadText(Join(out, "giftext")));
  ASSERT_GT(ref.frames.size(), 0u);

  // Records.
  auto screen = ParseKeys(ReadText(Join(out, "screen.txt")));
  int wantWidth = ref.screenWidth, wantHeight = ref.screenHeight;
  for (auto& f : ref.frames) {
    wantWidth = std::max(wantWidth, f.left + f.width);
    wantHeight = std::max(wantHeight, f.top + f.height);
  }
  EXPECT_EQ(screen["width"], wantWidth);
  EXPECT_EQ(screen["height"], wantHeight);
  ASSERT_EQ(screen["frames"], static_cast<int>(ref.frames.size()));
  EXPECT_EQ(screen["loop"], pilLoop < 0 ? 1 : pilLoop);

  // Indices, in giftext -r's stream order.
  const Bytes raw = testsupport::ReadFileBytes(Join(out, "raw"));
  size_t at = 0;
  std::vector<Bytes> indices;
  for (size_t n = 0; n < ref.frames.size(); ++n) {
    const FrameRecord& want = ref.frames[n];
    const std::string base = Join(out, "frame-" + std::to_string(n + 1));
    auto keys = ParseKeys(ReadText(base + ".txt"));
    FrameRecord got{keys["left"],     keys["top"],   keys["width"],       keys["height"],
                    keys["interlaced"], keys["disposal"], keys["delay"], keys["transparent"], keys["index"]};
    EXPECT_EQ(got, want) << "frame " << n + 1;
    const Bytes idx = testsupport::ReadFileBytes(base + ".idx");
    ASSERT_EQ(idx.size(), size_t(want.width) * want.height);
    ASSERT_LE(at + idx.size(), raw.size());
    Bytes reordered(idx.size());
    const std::vector<int> rows = StreamRows(want.height, want.interlaced);
    for (size_t r = 0; r < rows.size(); ++r)
      std::copy_n(idx.begin() + static_cast<long>(size_t(rows[r]) * want.width), want.width,
                  reordered.begin() + static_cast<long>(r * want.width));
    EXPECT_TRUE(std::equal(reordered.begin(), reordered.end(), raw.begin() + static_cast<long>(at)))
        << "frame " << n + 1 << " indices differ from giftext -r";
    at += idx.size();
    indices.push_back(idx);
  }

  // Colours of a single frame inside the screen, against gif2rgb -1.
  const FrameRecord& f = ref.frames[0];
  if (ref.frames.size() == 1 && f.left + f.width <= ref.screenWidth && f.top + f.height <= ref.screenHeight) {
    const Bytes rgb = testsupport::ReadFileBytes(Join(out, "rgb"));
    const Bytes pal = testsupport::ReadFileBytes(Join(out, "frame-1.pal"));
    ASSERT_EQ(pal.size(), 768u);
    ASSERT_EQ(rgb.size(), size_t(ref.screenWidth) * ref.screenHeight * 3);
    int wrong = 0;
    for (int y = 0; y < f.height; ++y)
      for (int x = 0; x < f.width; ++x) {
        size_t s = (size_t(f.top + y) * ref.screenWidth + f.left + x) * 3;
        size_t c = size_t(indices[0][size_t(y) * f.width + x]) * 3;
        if (!std::equal(pal.begin() + static_cast<long>(c), pal.begin() + static_cast<long>(c + 3),
                        rgb.begin() + static_cast<long>(s)))
          ++wrong;
      }
    EXPECT_EQ(wrong, 0) << "pixels whose colour differs from gif2rgb -1";
  }

  // The same data in 1-byte sub-blocks decodes identically.
  const Bytes bytes = testsupport::ReadFileBytes(gif);
  auto a = giftest::Decode(bytes);
  auto b = giftest::Decode(giftest::Reblock(bytes, 1));
  ASSERT_TRUE(a && b);
  ASSERT_EQ(a->NumFrames(), b->NumFrames());
  for (int n = 1; n <= a->NumFrames(); ++n) {
    EXPECT_EQ(a->Frame(n)->Pixels, b->Frame(n)->Pixels) << "frame " << n << " re-blocked";
    EXPECT_EQ(a->Frame(n)->Mask, b->Frame(n)->Mask) << "frame " << n << " re-blocked";
    if (a->Frame(n)->Transparent) {
      // The mask marks exactly the pixels of the transparent index.
      const htmlgif::TFrame& fr = *a->Frame(n);
      int wrong = 0;
      for (int y = 0; y < fr.Height; ++y)
        for (int x = 0; x < fr.Width; ++x) {
          bool masked = fr.Mask[size_t(y * fr.MaskStride() + x / 8)] & (0x80 >> (x % 8));
          if (masked != (fr.Pixels[size_t(y * fr.PixelStride() + x)] == fr.TransparentIndex)) ++wrong;
        }
      EXPECT_EQ(wrong, 0) << "frame " << n << " mask";
    }
  }
}

TEST(GifReference, DecodesLikeGiflibAndPil) {
  const std::string scratch = testsupport::ScratchDir();
  const std::string src = testsupport::SourceDir();
  const std::string made = Join(scratch, "made");
  const std::string docs = Join(Join(Join(src, "build"), "testdata"), "gifs");
  const std::vector<std::string> docGifs = FindGifs(docs);

  std::vector<std::string> args = {Join(Join(Join(src, "tests"), "gifimage"), "make_gifs.py"), made};
  args.insert(args.end(), docGifs.begin(), docGifs.end());
  std::string log;
  ASSERT_EQ(testsupport::RunUnix("/usr/bin/python3", args, &log), 0) << log;

  // pil.txt lists every file with PIL's loop count.
  std::vector<std::pair<std::string, int>> files;
  {
    std::istringstream in(ReadText(Join(made, "pil.txt")));
    std::string path, loop;
    while (in >> path >> loop) files.emplace_back(path, loop == "-" ? -1 : std::stoi(loop));
  }
  ASSERT_GT(files.size(), 40u);

  // One shell run of all the reference tools and gifdecode.
  const std::string gifdecode =
      Join(Join(Join(Join(testsupport::BuildDir(), "tests"), "tools"), "gifdecode"), "gifdecode");
  std::string script = "set -u\n";
  for (size_t i = 0; i < files.size(); ++i) {
    const std::string out = Join(Join(scratch, "out"), std::to_string(i));
    const std::string& f = files[i].first;
    script += "mkdir -p '" + out + "'\n";
    script += "giftext '" + f + "' > '" + out + "/giftext'\n";
    script += "giftext -r '" + f + "' > '" + out + "/raw'\n";
    script += "gif2rgb -1 -o '" + out + "/rgb' '" + f + "' 2>/dev/null\n";
    script += "'" + gifdecode + "' '" + f + "' '" + out + "' 2> '" + out + "/err'; echo $? > '" + out + "/rc'\n";
  }
  const std::string scriptPath = Join(scratch, "reference.sh");
  testsupport::WriteFileText(scriptPath, script);
  ASSERT_EQ(testsupport::RunUnix("/bin/sh", {scriptPath}, &log), 0) << log;

  for (size_t i = 0; i < files.size(); ++i)
    CheckFile(files[i].first, Join(Join(scratch, "out"), std::to_string(i)), files[i].second);

  if (docGifs.empty()) GTEST_SKIP() << "the documentation GIFs are absent: run scripts/fetch-testdata.sh";
}

}  // namespace
