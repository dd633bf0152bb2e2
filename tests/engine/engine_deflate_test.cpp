// The body's deflate must write exactly zlib's bytes (the patches of a
// deflated run may not change when the work is spread over threads), and a
// run that ends while the deflate is staged must leave nothing behind.
#include <gtest/gtest.h>

#include <zlib.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "deflater.h"
#include "engine_run_fixture.h"
#include "finder.h"
#include "host.h"
#include "options.h"
#include "patchfile.h"
#include "test_support.h"

using testsupport::Join;
using testsupport::ReadFileBytes;

namespace {

// While set, allocations of at least this many bytes fail on every thread
// but the test's own: the deflater's thread runs out of memory, which it
// can neither report nor write itself.
std::atomic<size_t> gFailOffTestThread{0};
const std::thread::id gTestThread = std::this_thread::get_id();

}  // namespace

void* operator new(size_t n) {
  const size_t limit = gFailOffTestThread;
  if (limit != 0 && n >= limit && std::this_thread::get_id() != gTestThread) throw std::bad_alloc();
  if (void* p = std::malloc(n == 0 ? 1 : n)) return p;
  throw std::bad_alloc();
}
// The compiler sees free() after inlining these into a new/delete pair.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { std::free(p); }
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

namespace {

typedef std::vector<uint8_t> Bytes;

// zlib at level 9 fed in pieces of piece bytes, as the writer used to.
Bytes ZlibDeflate(const Bytes& in, size_t piece) {
  z_stream z;
  std::memset(&z, 0, sizeof z);
  EXPECT_EQ(deflateInit(&z, 9), Z_OK);
  Bytes out;
  uint8_t chunk[4096];
  auto drain = [&](int flush) {
    int status;
    do {
      z.next_out = chunk;
      z.avail_out = sizeof chunk;
      status = deflate(&z, flush);
      out.insert(out.end(), chunk, chunk + sizeof chunk - z.avail_out);
    } while (flush == Z_FINISH ? status != Z_STREAM_END : (z.avail_out == 0 || z.avail_in > 0));
  };
  for (size_t at = 0; at < in.size(); at += piece) {
    z.next_in = const_cast<Bytef*>(in.data() + at);
    z.avail_in = static_cast<uInt>(std::min(piece, in.size() - at));
    drain(Z_NO_FLUSH);
  }
  drain(Z_FINISH);
  deflateEnd(&z);
  return out;
}

Bytes OurDeflate(const Bytes& in, size_t piece, uint32_t threads, uint32_t stage, uint32_t trace) {
  BodyDeflater deflater(threads, stage, trace);
  Bytes out, part;
  for (size_t at = 0; at < in.size(); at += piece) {
    deflater.Write(in.data() + at, static_cast<uint32_t>(std::min(piece, in.size() - at)));
    deflater.TakeOutput(part);
    out.insert(out.end(), part.begin(), part.end());
  }
  deflater.Finish();
  deflater.TakeOutput(part);
  out.insert(out.end(), part.begin(), part.end());
  return out;
}

// Inputs that reach zlib's corners: stored blocks, runs that end every
// search at the longest match, repeats just inside and beyond the window,
// three-byte matches that are too far, and short ones.
std::vector<std::pair<std::string, Bytes>> Inputs() {
  std::mt19937 rng(18);
  std::vector<std::pair<std::string, Bytes>> inputs;
  inputs.push_back({"random", testsupport::RandomBytes(100000, 5)});
  inputs.push_back({"zeros", Bytes(100000, 0)});
  for (size_t period : {1000u, 32500u, 33000u}) {
    Bytes block = testsupport::RandomBytes(period, static_cast<unsigned>(period));
    Bytes v;
    while (v.size() < 150000) v.insert(v.end(), block.begin(), block.end());
    inputs.push_back({"period " + std::to_string(period), v});
  }
  Bytes mixed;
  while (mixed.size() < 200000) {
    switch (rng() % 4) {
      case 0:
        for (uint32_t n = rng() % 300; n > 0; --n) mixed.push_back(static_cast<uint8_t>('a' + rng() % 3));
        break;
      case 1:
        if (mixed.size() > 100) {
          size_t back = 1 + rng() % std::min<size_t>(mixed.size(), 40000);
          for (uint32_t n = 3 + rng() % 300; n > 0; --n) mixed.push_back(mixed[mixed.size() - back]);
        }
        break;
      default:
        for (uint32_t n = rng() % 50; n > 0; --n) mixed.push_back(static_cast<uint8_t>(rng()));
    }
  }
  inputs.push_back({"mixed", mixed});
  Bytes text;
  for (int i = 0; text.size() < 200000; ++i) {
    std::string line = std::to_string(i * 7919 % 100003) + (i % 3 ? " foo\n" : " bar baz\n");
    text.insert(text.end(), line.begin(), line.end());
  }
  inputs.push_back({"text", text});
  inputs.push_back({"tiny", Bytes{1, 2, 3, 1, 2, 3, 1, 2, 3}});
  inputs.push_back({"empty", Bytes()});
  return inputs;
}

TEST(BodyDeflater, WritesZlibsBytesForEveryPieceSizeThreadCountAndStage) {
  struct Setting {
    uint32_t threads, stage, trace;
  };
  // One thread searches everything itself; the others follow the helpers'
  // traces across stage boundaries of different sizes, and with pieces of
  // 300 bytes traced from a guessed start the traces often go another way
  // than the real parse.
  const Setting settings[] = {{1, BodyDeflater::kDefaultStage, BodyDeflater::kDefaultPiece},
                              {4, 100000, 300},
                              {7, 70001, BodyDeflater::kDefaultPiece}};
  for (const auto& input : Inputs()) {
    for (size_t piece : {2000u, 7u, 65536u}) {
      const Bytes want = ZlibDeflate(input.second, piece);
      for (const Setting& s : settings)
        EXPECT_EQ(OurDeflate(input.second, piece, s.threads, s.stage, s.trace), want)
            << input.first << ", pieces of " << piece << ", " << s.threads << " threads, stage " << s.stage;
    }
  }
}

TEST(BodyDeflater, AnOutOfMemoryOfItsOwnThreadReachesTheCallerAndTheNextDeflaterIsWhole) {
  const Bytes block = testsupport::RandomBytes(100000, 3);
  Bytes input;
  while (input.size() < 3 * BodyDeflater::kDefaultStage) input.insert(input.end(), block.begin(), block.end());
  {
    BodyDeflater deflater(4);
    // A stage's answers and its deflated bytes are more than this.
    gFailOffTestThread = 1u << 20;
    bool raised = false;
    Bytes part;
    try {
      for (size_t at = 0; at < input.size(); at += 65536) {
        deflater.Write(input.data() + at, static_cast<uint32_t>(std::min<size_t>(65536, input.size() - at)));
        deflater.TakeOutput(part);
      }
      deflater.Finish();
    } catch (const std::bad_alloc&) {
      raised = true;
    }
    gFailOffTestThread = 0;
    EXPECT_TRUE(raised);
    // The stream is lost from there on: no later call may look like it went on.
    EXPECT_THROW(deflater.Finish(), std::bad_alloc);
    EXPECT_THROW(deflater.TakeOutput(part), std::bad_alloc);
  }
  EXPECT_TRUE(OurDeflate(input, 65536, 4, BodyDeflater::kDefaultStage, BodyDeflater::kDefaultPiece) ==
              ZlibDeflate(input, 65536));
}

class CancellingHost : public EngineHost {
 public:
  void NotifyPatchSize(uint32_t) override {
    if (++calls == throwAt) throw std::runtime_error("cancelled");
  }
  int calls = 0, throwAt = 0;
};

class DeflatedRun : public EngineRun {
 protected:
  void TearDown() override {
    SetEngineHost(nullptr);
    FinderThreads = 0;
  }

  // Files enough for more than one stage of the deflate, so that its
  // helpers take part.
  void MakeTrees() {
    oldDir = Dir("old");
    newDir = Dir("new");
    for (int f = 0; f < 3; ++f) {
      Bytes content;
      for (int i = 0; content.size() < 1000000; ++i) {
        std::string line = "entry " + std::to_string((i * 31 + f) % 5003) + " value " + std::to_string(i % 17) + "\n";
        content.insert(content.end(), line.begin(), line.end());
        if (i % 500 == 0) {
          Bytes noise = testsupport::RandomBytes(300, static_cast<unsigned>(i + f));
          content.insert(content.end(), noise.begin(), noise.end());
        }
      }
      testsupport::WriteFileBytes(Join(newDir, "f" + std::to_string(f) + ".dat"), content);
    }
  }

  std::string oldDir, newDir;
};

TEST_F(DeflatedRun, PatchBodyIsZlibsDeflateOfThePlainBody) {
  MakeTrees();
  FinderThreads = 3;
  Sources({oldDir, newDir}, Join(root, "plain"));
  ASSERT_EQ(Run(), "");
  CompressPatchfile = 1;
  Sources({oldDir, newDir}, Join(root, "packed"));
  ASSERT_EQ(Run(), "");

  const Bytes plain = ReadFileBytes(Join(root, "plain.utp"));
  const Bytes packed = ReadFileBytes(Join(root, "packed.utp"));
  ASSERT_GT(plain.size(), BodyDeflater::kDefaultStage + 500000u);
  const Bytes body(plain.begin() + kPatchHeaderSize, plain.end() - kEndMarkerSize);
  const Bytes packedBody(packed.begin() + kPatchHeaderSize, packed.end() - kEndMarkerSize);
  EXPECT_TRUE(packedBody == ZlibDeflate(body, 2000));
  EXPECT_EQ(Parse(packed).body, Parse(plain).body);
  EXPECT_TRUE(TempDirEmpty());
}

TEST_F(DeflatedRun, CancelWhileTheBodyIsStagedLeavesNothing) {
  MakeTrees();
  FinderThreads = 3;
  CompressPatchfile = 1;
  CancellingHost host;
  SetEngineHost(&host);
  for (int at : {1, 3}) {
    host.calls = 0;
    host.throwAt = at;
    Sources({oldDir, newDir}, Join(root, "cancelled"));
    EXPECT_EQ(Run(), "cancelled");
    EXPECT_FALSE(testsupport::FileExists(Join(root, "cancelled.utp"))) << at;
    EXPECT_TRUE(TempDirEmpty()) << at;
  }
  // The engine is whole afterwards: the next run succeeds.
  host.throwAt = 0;
  Sources({oldDir, newDir}, Join(root, "after"));
  EXPECT_EQ(Run(), "");
  EXPECT_TRUE(testsupport::FileExists(Join(root, "after.utp")));
}

}  // namespace
