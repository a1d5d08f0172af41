// FindBiosDescriptor against one memchr pass over the same image.
//
// Images: "realistic" (three volumes laid out like a shipped BIOS, the
// descriptor in the volume tried last) and "adversarial" (a volume header
// with a right checksum every 4 KiB, each claiming the rest of the image,
// over one chain of small checksummed files that every one of them walks to
// the end; the descriptor only in the volume at the image start), at 16 and
// 64 MiB. The baseline is one memchr pass over the image for its rarest byte
// value, so the ratio says how many plain passes over the image a search
// costs. A literal reading of the search (every candidate walked and scanned
// on its own) is timed on a 1 MiB adversarial image only, for contrast: it
// is quadratic and at 64 MiB would not finish in reasonable time.
//
// After the table the program prints one line per image:
//   ratio realistic16 = X
#include <benchmark/benchmark.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "descriptor_search.h"
#include "image_builder.h"

namespace {

using vossel::imagebuilder::BiosDescriptorLayout;
using vossel::imagebuilder::BuiltImage;

constexpr uint32_t kMiB = 0x100000;
constexpr uint32_t kDecoyFileSize = 256;

struct BenchImage {
    std::string Name;
    std::vector<uint8_t> Bytes;
    uint8_t RarestByte = 0;
};

BiosDescriptorLayout Descriptor() {
    BiosDescriptorLayout d;
    d.Part = *vossel::imagebuilder::MakePartNumber("5R27HX9C");
    d.Year = 2012;
    d.Month = 1;
    d.Day = 12;
    return d;
}

uint8_t RarestByte(const std::vector<uint8_t>& bytes) {
    std::array<uint64_t, 256> counts{};
    for (uint8_t b : bytes) ++counts[b];
    size_t rarest = 0;
    for (size_t v = 1; v < counts.size(); ++v)
        if (counts[v] < counts[rarest]) rarest = v;
    return uint8_t(rarest);
}

BenchImage MakeImage(const std::string& name, BuiltImage built) {
    if (!built.ok()) {
        std::fprintf(stderr, "cannot build %s: %s\n", name.c_str(), built.Error.c_str());
        std::exit(1);
    }
    BenchImage image{name, std::move(built.Bytes), 0};
    image.RarestByte = RarestByte(image.Bytes);
    return image;
}

// One pass: memchr from each hit of the rarest byte on to the end.
size_t MemchrPass(const BenchImage& image) {
    size_t hits = 0;
    const uint8_t* at = image.Bytes.data();
    const uint8_t* end = at + image.Bytes.size();
    while (at < end) {
        const void* hit = std::memchr(at, image.RarestByte, size_t(end - at));
        if (hit == nullptr) break;
        ++hits;
        at = static_cast<const uint8_t*>(hit) + 1;
    }
    return hits;
}

// ------------------------------------------------ the literal search, for contrast

uint32_t Le16(const uint8_t* p) { return p[0] | p[1] << 8; }
uint32_t Le24(const uint8_t* p) { return Le16(p) | uint32_t(p[2]) << 16; }
uint32_t Le32(const uint8_t* p) { return Le16(p) | Le16(p + 2) << 16; }

// Every candidate verified by its own walk and scanned on its own, as the
// steps read; only bounded by the image end.
int LiteralVerify(const uint8_t* image, uint64_t size, uint64_t v) {
    if (v + 50 > size) return 0;
    const uint64_t headerLength = Le16(image + v + 48), length = Le32(image + v + 32);
    if (v + headerLength > size) return 0;
    uint32_t sum = 0;
    for (uint64_t i = 0; i + 1 < headerLength; i += 2) sum += Le16(image + v + i);
    if (uint16_t(sum) != 0) return 0;
    for (uint64_t offset = headerLength; offset < length && v + offset + 24 <= size;) {
        const uint8_t* file = image + v + offset;
        const uint32_t fileSize = Le24(file + 20);
        if (fileSize == 0 || fileSize == 0xFFFFFF) break;
        if (file[19] & 0x40) {
            if (v + offset + fileSize > size) return 0;
            uint8_t header = 0, data = file[17];
            for (int i = 0; i < 24; ++i) header = uint8_t(header + file[i]);
            header = uint8_t(header - file[17] - file[23]);
            for (uint32_t i = 24; i < fileSize; ++i) data = uint8_t(data + file[i]);
            if (header != 0 || data != 0) return 0;
        }
        offset += (fileSize + 7) / 8 * 8;
    }
    return 1;
}

int LiteralFind(const uint8_t* image, uint32_t size, vossel::BiosDescriptorFields* out) {
    for (uint64_t back = 4096; back <= size; back += 4096) {
        const uint64_t v = size - back;
        if (std::memcmp(image + v + 40, "_FVH", 4) != 0 || !LiteralVerify(image, size, v)) continue;
        const uint64_t length = Le32(image + v + 32);
        for (uint64_t i = 0; i + 3 < length && v + i + 48 <= size; ++i) {
            const uint8_t* record = image + v + i;
            if (std::memcmp(record, "$BDR", 4) != 0) continue;
            if (Le16(record + 8) != 0x5AA5) break;
            std::memcpy(out->PartNumber, record + 32, 8);
            out->Year = uint16_t(Le16(record + 44));
            out->Month = record[46];
            out->Day = record[47];
            return 1;
        }
    }
    return 0;
}

// ------------------------------------------------------------ benchmarks

using SearchFunction = int (*)(const uint8_t*, uint32_t, vossel::BiosDescriptorFields*);

void Search(benchmark::State& state, const BenchImage* image, SearchFunction search) {
    vossel::BiosDescriptorFields fields{};
    if (search(image->Bytes.data(), uint32_t(image->Bytes.size()), &fields) != 1 ||
        std::memcmp(fields.PartNumber, "5R27HX9C", 8) != 0 || fields.Year != 2012 || fields.Month != 1 ||
        fields.Day != 12) {
        state.SkipWithError("the search did not find the image's descriptor");
        return;
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(search(image->Bytes.data(), uint32_t(image->Bytes.size()), &fields));
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(image->Bytes.size()));
}

void Memchr(benchmark::State& state, const BenchImage* image) {
    for (auto _ : state) benchmark::DoNotOptimize(MemchrPass(*image));
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(image->Bytes.size()));
}

// Keeps each run's CPU time per iteration (other work on a shared machine
// stretches wall time, not CPU time) next to the usual console table.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    RatioReporter() : ConsoleReporter(OO_Tabular) {}  // plain text: the output is read and piped
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs)
            if (run.run_type == Run::RT_Iteration && !run.error_occurred)
                seconds_[run.benchmark_name()] = run.GetAdjustedCPUTime();
    }
    // "search/x" over "memchr/x"; nothing when either did not run.
    bool Ratio(const std::string& search, const std::string& image, double* ratio) const {
        const auto s = seconds_.find(search + "/" + image), m = seconds_.find("memchr/" + image);
        if (s == seconds_.end() || m == seconds_.end() || m->second <= 0) return false;
        *ratio = s->second / m->second;
        return true;
    }

private:
    std::map<std::string, double> seconds_;  // in each run's time unit, all milliseconds here
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;

    std::vector<std::unique_ptr<BenchImage>> images;
    for (uint32_t mib : {16u, 64u}) {
        const std::string size = std::to_string(mib);
        images.push_back(std::make_unique<BenchImage>(MakeImage(
            "realistic" + size, vossel::imagebuilder::BuildRealisticUefiImage(mib * kMiB, Descriptor()))));
        images.push_back(std::make_unique<BenchImage>(
            MakeImage("adversarial" + size,
                      vossel::imagebuilder::BuildDecoyChainImage(mib * kMiB, kDecoyFileSize, Descriptor()))));
    }
    auto small = std::make_unique<BenchImage>(
        MakeImage("adversarial1", vossel::imagebuilder::BuildDecoyChainImage(kMiB, kDecoyFileSize, Descriptor())));

    for (const auto& image : images) {
        benchmark::RegisterBenchmark(("search/" + image->Name).c_str(), Search, image.get(),
                                     &vossel::FindBiosDescriptor)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("memchr/" + image->Name).c_str(), Memchr, image.get())
            ->Unit(benchmark::kMillisecond);
    }
    benchmark::RegisterBenchmark("search/adversarial1", Search, small.get(), &vossel::FindBiosDescriptor)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("literal/adversarial1", Search, small.get(), &LiteralFind)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("memchr/adversarial1", Memchr, small.get())->Unit(benchmark::kMillisecond);

    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    std::printf("\nFindBiosDescriptor time over one memchr pass of the same image:\n");
    bool any = false;
    for (const char* image : {"realistic16", "realistic64", "adversarial16", "adversarial64", "adversarial1"}) {
        double ratio = 0;
        if (!reporter.Ratio("search", image, &ratio)) continue;
        std::printf("ratio %s = %.2f\n", image, ratio);
        any = true;
    }
    double literal = 0;
    if (reporter.Ratio("literal", "adversarial1", &literal))
        std::printf("ratio literal-adversarial1 = %.2f (the quadratic literal search, for contrast)\n", literal);
    return any ? 0 : 1;
}
