// The descriptor search walks the image's candidate volumes from the end
// backwards exactly as described in descriptor_search.h, but shares all work
// between candidates so that the whole search stays linear in the image size:
//
// - "$BDR" positions: candidates are visited in falling order, so the image
//   is scanned once, each 4 KiB block between two candidates up to its first
//   usable "$BDR", keeping the nearest at or after the candidate. That is the
//   first "$BDR" the volume's own scan would meet; whether it lies inside the
//   volume's bound is a comparison. Blocks are scanned sixteen at a time in
//   rising order, 32 positions at a time where the processor has AVX2.
// - Header checksums: words are summed through per-block prefix sums whose
//   blocks are aligned with the candidates (all of them lie at the same
//   residue modulo 4096).
// - File walks: whether the file at absolute position p ends a walk (size 0 or
//   0xFFFFFF, or past the image end: success; bad checksum or header/data past
//   the image end: failure) or leads on to the next file does not depend on
//   the volume that reached it. Each walk therefore only needs the first such
//   terminal position q on the chain from its first file: it fails iff q is a
//   failure and q lies below the volume's length (a walk never gets past its
//   length). Chains advance in steps of 8, so every chain stays on one
//   residue modulo 8; per residue a dense table (allocated on first use)
//   records for each visited position the group of chains it belongs to, and
//   each group records its terminal. A position is classified once; a later
//   walk stops at the first visited position. Nothing below the lowest walk
//   start has been visited, so the table is only read above it.
// - File data sums: prefix sums over 8-byte blocks.
//
// Realistic images never need the chain table or the data prefix sums: their
// few volumes hold files that no other walk revisits. So walks and sums run
// directly while the work done that way stays within a budget proportional
// to the image size, and the tables are built only once it is spent; the
// total stays linear either way. When memory for the tables cannot be had,
// the search runs without them (same results, no longer linear on
// adversarial images).
#include "descriptor_search.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <vector>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#define VOSSEL_SCAN_AVX2 1  // chosen at run time where the processor has it
#endif

#include "firmware_layout.h"

namespace vossel {
namespace {

using Position = uint64_t;  // wide enough that no sum of stated lengths wraps

enum class TableUse {
    kAdaptive,  // direct work first, tables once the budget is spent
    kEager,     // tables from the first walk on (for tests)
    kNone,      // no tables at all (no memory for them)
};

constexpr Position kNoPosition = std::numeric_limits<Position>::max();

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};

template <class T>
using HeapArray = std::unique_ptr<T[], FreeDeleter>;

// Zero-filled array of n elements, or null when the memory is not there.
template <class T>
HeapArray<T> AllocateZeroed(Position n) {
    if (n > std::numeric_limits<size_t>::max() / sizeof(T)) {
        return HeapArray<T>();
    }
    return HeapArray<T>(static_cast<T*>(std::calloc(static_cast<size_t>(n), sizeof(T))));
}

uint8_t DirectByteSum(const uint8_t* bytes, Position count) {
    uint8_t sum = 0;  // byte-wide, so the compiler sums 16 or 32 bytes per instruction
    for (Position i = 0; i < count; ++i) {
        sum = static_cast<uint8_t>(sum + bytes[i]);
    }
    return sum;
}

// Sum of 8 bytes modulo 256, without a loop.
uint8_t EightByteSum(const uint8_t* bytes) {
    uint64_t word;
    std::memcpy(&word, bytes, sizeof(word));
    constexpr uint64_t kLowBytes = 0x00FF00FF00FF00FFull;
    const uint64_t pairs = (word & kLowBytes) + ((word >> 8) & kLowBytes);  // four lanes of at most 510
    return static_cast<uint8_t>((pairs * 0x0001000100010001ull) >> 48);     // their sum lands in the top lane
}

uint16_t DirectWordSum(const uint8_t* bytes, Position evenCount) {
    uint32_t sum = 0;
    for (Position i = 0; i < evenCount; i += 2) {
        sum += LoadLe16(bytes + i);
    }
    return static_cast<uint16_t>(sum);
}

// Byte sums of ranges, summed on the spot (one volume walk: its files' data
// ranges do not overlap, so this stays linear).
class DirectByteSums {
public:
    explicit DirectByteSums(const uint8_t* image) : image_(image) {}
    uint8_t Sum(Position begin, Position end) { return DirectByteSum(image_ + begin, end - begin); }

private:
    const uint8_t* image_;
};

// Byte sums of ranges for many walks whose files may overlap: summed
// directly until that has cost four times the image size, then through
// prefix sums over 8-byte blocks (short ranges are always summed directly).
class BlockByteSums {
public:
    BlockByteSums(const uint8_t* image, Position size, TableUse use)
        : image_(image),
          size_(size),
          directBudget_(use == TableUse::kAdaptive ? 4 * size : 0),
          tried_(use == TableUse::kNone) {}

    uint8_t Sum(Position begin, Position end) {
        const Position count = end - begin;
        if (count <= kDirectLimit || (prefix_ == nullptr && count <= directBudget_) || !Table()) {
            if (count > kDirectLimit && prefix_ == nullptr && !tried_) {
                directBudget_ -= count;
            }
            return DirectByteSum(image_ + begin, count);
        }
        const Position firstBlock = (begin + kBlock - 1) / kBlock;
        const Position lastBlock = end / kBlock;
        uint32_t sum = DirectByteSum(image_ + begin, firstBlock * kBlock - begin);
        sum += static_cast<uint8_t>(prefix_[lastBlock] - prefix_[firstBlock]);
        sum += DirectByteSum(image_ + lastBlock * kBlock, end - lastBlock * kBlock);
        return static_cast<uint8_t>(sum);
    }

private:
    static constexpr Position kBlock = 8;
    static constexpr Position kDirectLimit = 64;

    bool Table() {
        if (!tried_) {
            tried_ = true;
            const Position blocks = size_ / kBlock;
            prefix_ = AllocateZeroed<uint8_t>(blocks + 1);
            if (prefix_) {
                for (Position b = 0; b < blocks; ++b) {
                    prefix_[b + 1] = static_cast<uint8_t>(prefix_[b] + EightByteSum(image_ + b * kBlock));
                }
            }
        }
        return prefix_ != nullptr;
    }

    const uint8_t* image_;
    Position size_;
    Position directBudget_;  // bytes still to be summed directly before the table pays
    bool tried_;
    HeapArray<uint8_t> prefix_;  // prefix_[b]: sum of bytes [0, 8b)
};

// Word sums of candidate volume headers. Every candidate lies at the image
// size minus a multiple of 4096, so blocks anchored at size % kBlock start
// exactly at each candidate.
class HeaderWordSums {
public:
    HeaderWordSums(const uint8_t* image, Position size, TableUse use)
        : image_(image), size_(size), anchor_(size % kBlock), tried_(use == TableUse::kNone) {}

    // Sum of the words in [volume, volume + evenCount); the range lies in the
    // image and volume is a candidate position.
    uint16_t Sum(Position volume, Position evenCount) {
        if (evenCount <= kDirectLimit || !Table()) {
            return DirectWordSum(image_ + volume, evenCount);
        }
        const Position firstBlock = (volume - anchor_) / kBlock;
        const Position fullBlocks = evenCount / kBlock;
        uint32_t sum = static_cast<uint16_t>(prefix_[firstBlock + fullBlocks] - prefix_[firstBlock]);
        sum += DirectWordSum(image_ + volume + fullBlocks * kBlock, evenCount % kBlock);
        return static_cast<uint16_t>(sum);
    }

private:
    static constexpr Position kBlock = 512;
    static constexpr Position kDirectLimit = 1024;
    static_assert(kVolumeCandidateStep % kBlock == 0, "candidates must start on block boundaries");

    bool Table() {
        if (!tried_) {
            tried_ = true;
            const Position blocks = (size_ - anchor_) / kBlock;
            prefix_ = AllocateZeroed<uint16_t>(blocks + 1);
            if (prefix_) {
                for (Position b = 0; b < blocks; ++b) {
                    prefix_[b + 1] =
                        static_cast<uint16_t>(prefix_[b] + DirectWordSum(image_ + anchor_ + b * kBlock, kBlock));
                }
            }
        }
        return prefix_ != nullptr;
    }

    const uint8_t* image_;
    Position size_;
    Position anchor_;
    bool tried_;
    HeapArray<uint16_t> prefix_;  // prefix_[b]: sum of the words in [anchor, anchor + 512b)
};

struct VolumeFields {
    uint32_t length;        // low 32 bits of the stated volume length
    uint16_t headerLength;
};

// The 50 bytes up to and including the header length must lie in the image.
bool ReadVolumeFields(const uint8_t* image, Position size, Position volume, VolumeFields* fields) {
    if (volume > size || size - volume < sizeof(FirmwareVolumeHeaderPrefix)) {
        return false;
    }
    const uint8_t* header = image + volume;
    fields->length = LoadLe32(header + offsetof(FirmwareVolumeHeaderPrefix, FvLength));
    fields->headerLength = LoadLe16(header + offsetof(FirmwareVolumeHeaderPrefix, HeaderLength));
    return true;
}

// Bytes the header checksum covers: the words at every even offset below the
// header length, so an odd length takes in the byte at the header length.
constexpr Position HeaderChecksumBytes(uint16_t headerLength) { return (Position{headerLength} + 1) & ~Position{1}; }

bool HasSignature(const uint8_t* at, const uint8_t (&signature)[4]) { return std::memcmp(at, signature, 4) == 0; }

// Skipping blocks of positions where no "$BDR" starts, from at towards
// limit: each returns the start of the first block holding one, or a
// position less than a block before limit. They read up to 3 bytes past the
// last position looked at.

#if defined(VOSSEL_SCAN_AVX2)
// Thirty-two positions at a time, at most four compares per block whatever
// the image holds: the first and last signature bytes are compared first,
// which on most images rules out every position, the middle two only where
// both match.
__attribute__((target("avx2"))) inline __m256i Load32(const uint8_t* p) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}

__attribute__((target("avx2"))) Position SkipBlocksWithoutDescriptorAvx2(const uint8_t* image, Position at,
                                                                         Position limit) {
    const __m256i first = _mm256_set1_epi8(static_cast<char>(kDescriptorSignature[0]));
    const __m256i second = _mm256_set1_epi8(static_cast<char>(kDescriptorSignature[1]));
    const __m256i third = _mm256_set1_epi8(static_cast<char>(kDescriptorSignature[2]));
    const __m256i last = _mm256_set1_epi8(static_cast<char>(kDescriptorSignature[3]));
    for (; at < limit && limit - at >= 32; at += 32) {
        const uint8_t* p = image + at;
        const __m256i ends =
            _mm256_and_si256(_mm256_cmpeq_epi8(Load32(p), first), _mm256_cmpeq_epi8(Load32(p + 3), last));
        if (_mm256_movemask_epi8(ends) == 0) {
            continue;
        }
        const __m256i middle =
            _mm256_and_si256(_mm256_cmpeq_epi8(Load32(p + 1), second), _mm256_cmpeq_epi8(Load32(p + 2), third));
        if (_mm256_movemask_epi8(_mm256_and_si256(ends, middle)) != 0) {
            break;
        }
    }
    return at;
}
#endif

constexpr uint64_t Repeated(uint8_t byte) { return 0x0101010101010101ull * byte; }

uint64_t LoadWord(const uint8_t* p) {
    uint64_t word;
    std::memcpy(&word, p, sizeof(word));
    return word;
}

// Eight positions at a time: a zero byte in the or of the four shifted words
// xor the signature's bytes marks a position where all four match.
Position SkipBlocksWithoutDescriptorWords(const uint8_t* image, Position at, Position limit) {
    for (; at < limit && limit - at >= 8; at += 8) {
        const uint8_t* p = image + at;
        const uint64_t differs = (LoadWord(p) ^ Repeated(kDescriptorSignature[0])) |
                                 (LoadWord(p + 1) ^ Repeated(kDescriptorSignature[1])) |
                                 (LoadWord(p + 2) ^ Repeated(kDescriptorSignature[2])) |
                                 (LoadWord(p + 3) ^ Repeated(kDescriptorSignature[3]));
        if (((differs - Repeated(0x01)) & ~differs & Repeated(0x80)) != 0) {
            break;
        }
    }
    return at;
}

enum class ScanUse {
    kWidest,    // the widest the processor has
    kPortable,  // words of the portable code only (for tests)
};

Position SkipBlocksWithoutDescriptor(const uint8_t* image, Position at, Position limit, ScanUse use) {
#if defined(VOSSEL_SCAN_AVX2)
    static const bool avx2 = __builtin_cpu_supports("avx2");
    if (use == ScanUse::kWidest && avx2) {
        return SkipBlocksWithoutDescriptorAvx2(image, at, limit);
    }
#else
    (void)use;
#endif
    return SkipBlocksWithoutDescriptorWords(image, at, limit);
}

enum class FileOutcome : uint8_t {
    kNext,  // the walk goes on at next
    kStop,  // the walk ends with success
    kFail,  // the volume fails
};

struct FileStepResult {
    FileOutcome outcome;
    Position next;
    Position work;  // bytes read to decide
};

// The file whose header starts at position file (< size).
template <class ByteSums>
FileStepResult ClassifyFile(const uint8_t* image, Position size, Position file, ByteSums& sums) {
    constexpr Position kHeaderWork = sizeof(FirmwareFileHeader);
    if (size - file < sizeof(FirmwareFileHeader)) {
        return {FileOutcome::kFail, 0, kHeaderWork};
    }
    const uint8_t* header = image + file;
    const uint32_t fileSize = LoadLe24(header + offsetof(FirmwareFileHeader, Size));
    if (fileSize == kFileSizeEndEmpty || fileSize == kFileSizeEndErased) {
        return {FileOutcome::kStop, 0, kHeaderWork};
    }
    if (header[offsetof(FirmwareFileHeader, Attributes)] & kFileAttributeChecksum) {
        const uint8_t fileChecksum = header[offsetof(FirmwareFileHeader, FileChecksum)];
        static_assert(sizeof(FirmwareFileHeader) == 24, "the header sum below takes three 8-byte words");
        const uint8_t headerSum =
            static_cast<uint8_t>(EightByteSum(header) + EightByteSum(header + 8) + EightByteSum(header + 16) -
                                 header[offsetof(FirmwareFileHeader, State)] - fileChecksum);
        if (headerSum != 0 || size - file < fileSize) {
            return {FileOutcome::kFail, 0, kHeaderWork};
        }
        const Position dataBegin = file + sizeof(FirmwareFileHeader);
        const Position dataEnd = file + fileSize;
        if (dataEnd <= dataBegin) {
            return {fileChecksum == 0 ? FileOutcome::kNext : FileOutcome::kFail, file + FileStep(fileSize),
                    kHeaderWork};
        }
        const uint8_t dataSum = static_cast<uint8_t>(sums.Sum(dataBegin, dataEnd) + fileChecksum);
        if (dataSum != 0) {
            return {FileOutcome::kFail, 0, kHeaderWork + (dataEnd - dataBegin)};
        }
        return {FileOutcome::kNext, file + FileStep(fileSize), kHeaderWork + (dataEnd - dataBegin)};
    }
    return {FileOutcome::kNext, file + FileStep(fileSize), kHeaderWork};
}

// First position on the chain that starts at first where the walk ends by
// itself (kStop, also for a position at or past the image end, or kFail).
struct ChainEnd {
    Position position;
    FileOutcome outcome;
};

// The chain from first, followed no further than limit (a walk that reaches
// limit is over with success). Adds the bytes it read to *work.
template <class ByteSums>
ChainEnd WalkChain(const uint8_t* image, Position size, Position first, Position limit, ByteSums& sums,
                   Position* work = nullptr) {
    for (Position file = first;;) {
        if (file >= size || file >= limit) {
            return {file, FileOutcome::kStop};
        }
        const FileStepResult step = ClassifyFile(image, size, file, sums);
        if (work != nullptr) {
            *work += step.work;
        }
        if (step.outcome != FileOutcome::kNext) {
            return {file, step.outcome};
        }
        file = step.next;
    }
}

// A walk over the volume's files succeeds unless it meets a failing file
// before its offset reaches the volume length.
bool WalkSucceeds(Position volume, const VolumeFields& fields, const ChainEnd& end) {
    return end.outcome != FileOutcome::kFail || end.position - volume >= fields.length;
}

// Chain ends shared by all walks of one search; see the top of this file.
// GroupId is wide enough for one group per candidate volume.
template <class GroupId>
class ChainMemo {
public:
    ChainMemo(const uint8_t* image, Position size, TableUse use)
        : image_(image),
          size_(size),
          useTables_(use != TableUse::kNone),
          directWork_(use == TableUse::kAdaptive ? size / kImageBytesPerDirectWork : 0) {}

    // The end of the chain from first. Without a table the chain is walked
    // directly, and then no further than limit (the volume's end).
    template <class ByteSums>
    ChainEnd Find(Position first, Position limit, ByteSums& sums) {
        if (first >= size_) {
            return {first, FileOutcome::kStop};
        }
        GroupId* slots = directWork_ > 0 ? nullptr : Slots(first % kResidues);
        if (slots == nullptr) {
            Position work = 0;
            const ChainEnd end = WalkChain(image_, size_, first, limit, sums, &work);
            directWork_ -= std::min(work, directWork_);
            return end;
        }
        // Up to the first visited position or the chain's end.
        Position file = first;
        GroupId group = 0;
        for (;;) {
            if (file >= size_) {
                group = NewGroup({file, FileOutcome::kStop});
                break;
            }
            // Nothing below the start of an earlier walk has been visited.
            if (file >= lowestVisited_ && slots[file / kResidues] != 0) {
                group = slots[file / kResidues];
                break;
            }
            const FileStepResult step = ClassifyFile(image_, size_, file, sums);
            if (step.outcome != FileOutcome::kNext) {
                group = NewGroup({file, step.outcome});
                slots[file / kResidues] = group;
                break;
            }
            file = step.next;
        }
        lowestVisited_ = std::min(lowestVisited_, first);
        // Every position passed on the way belongs to that group.
        for (Position passed = first; passed != file;) {
            slots[passed / kResidues] = group;
            passed += FileStep(LoadLe24(image_ + passed + offsetof(FirmwareFileHeader, Size)));
        }
        return ends_[group - 1];
    }

private:
    static constexpr unsigned kResidues = 8;  // chains move in steps of 8
    // Bytes that direct walks may read before the table is set up: a
    // sixteenth of the image. A walk that starts within the budget runs to
    // its end, so a real image's main volume, however large, is walked
    // directly; later walks that would re-read files many others share
    // (what makes a hostile image slow) soon go through the table. Direct
    // work stays below the budget plus one walk, so the total is linear.
    static constexpr Position kImageBytesPerDirectWork = 16;

    GroupId* Slots(Position residue) {
        if (!useTables_) {
            return nullptr;
        }
        if (!tried_[residue]) {
            tried_[residue] = true;
            slots_[residue] = AllocateZeroed<GroupId>(size_ / kResidues + 1);
        }
        return slots_[residue].get();
    }

    GroupId NewGroup(const ChainEnd& end) {
        ends_.push_back(end);
        return static_cast<GroupId>(ends_.size());
    }

    const uint8_t* image_;
    Position size_;
    bool useTables_;
    Position directWork_;  // bytes direct walks may still read
    Position lowestVisited_ = kNoPosition;  // no position below it has a slot set
    bool tried_[kResidues] = {};
    HeapArray<GroupId> slots_[kResidues];  // group of each visited position, 0 unvisited
    std::vector<ChainEnd> ends_;           // ends_[group - 1]
};

template <class GroupId>
class DescriptorSearch {
public:
    DescriptorSearch(const uint8_t* image, uint32_t size, TableUse use, ScanUse scan)
        : image_(image),
          size_(size),
          scan_(scan),
          headerSums_(image, size, use),
          dataSums_(image, size, use),
          chains_(image, size, use) {}

    int Run(BiosDescriptorFields* out) {
        Position nearestDescriptor = kNoPosition;
        for (Position back = kVolumeCandidateStep; back <= size_; back += kVolumeCandidateStep) {
            const Position volume = size_ - back;
            // The "$BDR" search has covered [volume + 4096, size).
            const Position found = FirstDescriptorOfBlock(back / kVolumeCandidateStep);
            if (found != kNoPosition) {
                nearestDescriptor = found;
            }

            VolumeFields fields;
            if (!HasSignature(image_ + volume + offsetof(FirmwareVolumeHeaderPrefix, Signature), kVolumeSignature) ||
                !ReadVolumeFields(image_, size_, volume, &fields) || !VolumeChecksOut(volume, fields)) {
                continue;
            }
            // The volume's scan looks at volume + i while i + 3 < length.
            if (nearestDescriptor == kNoPosition || fields.length < 4 ||
                nearestDescriptor - volume > Position{fields.length} - 4) {
                continue;
            }
            const uint8_t* record = image_ + nearestDescriptor;
            if (LoadLe16(record + offsetof(BiosDescriptorRecord, Marker)) != kBiosDescriptorMarker) {
                continue;  // the first descriptor of this volume is not valid: next candidate
            }
            if (out != nullptr) {
                std::memcpy(out->PartNumber, record + offsetof(BiosDescriptorRecord, PartNumber),
                            sizeof(out->PartNumber));
                out->Year = LoadLe16(record + offsetof(BiosDescriptorRecord, Year));
                out->Month = record[offsetof(BiosDescriptorRecord, Month)];
                out->Day = record[offsetof(BiosDescriptorRecord, Day)];
            }
            return 1;
        }
        return 0;
    }

private:
    // First "$BDR" of block k, [size - 4096k, size - 4096(k - 1)), whose
    // record lies in the image. Blocks are asked for from the image end
    // backwards but scanned a window at a time in rising order, the order in
    // which the processor fetches memory ahead.
    Position FirstDescriptorOfBlock(Position k) {
        if (k < windowFirstBlock_ || k >= windowFirstBlock_ + windowBlocks_) {
            windowFirstBlock_ = k;
            windowBlocks_ = std::min<Position>(kBlocksPerWindow, size_ / kVolumeCandidateStep - k + 1);
            for (Position j = k + windowBlocks_; j-- > k;) {
                const Position begin = size_ - j * kVolumeCandidateStep;
                windowDescriptors_[j - k] = FirstDescriptorIn(begin, begin + kVolumeCandidateStep);
            }
        }
        return windowDescriptors_[k - windowFirstBlock_];
    }

    // First "$BDR" in [begin, end) whose whole record lies in the image.
    Position FirstDescriptorIn(Position begin, Position end) const {
        if (size_ < sizeof(BiosDescriptorRecord)) {
            return kNoPosition;
        }
        const Position limit = std::min(end, size_ - sizeof(BiosDescriptorRecord) + 1);
        // The block scan reads at most 35 bytes from a position it looks at,
        // well inside the record that must fit.
        Position at = SkipBlocksWithoutDescriptor(image_, begin, limit, scan_);
        for (; at < limit; ++at) {
            if (HasSignature(image_ + at, kDescriptorSignature)) {
                return at;
            }
        }
        return kNoPosition;
    }

    bool VolumeChecksOut(Position volume, const VolumeFields& fields) {
        const Position checksumBytes = HeaderChecksumBytes(fields.headerLength);
        if (checksumBytes > size_ - volume || headerSums_.Sum(volume, checksumBytes) != 0) {
            return false;
        }
        if (fields.headerLength >= fields.length) {
            return true;  // no file lies inside the volume
        }
        return WalkSucceeds(volume, fields,
                            chains_.Find(volume + fields.headerLength, volume + fields.length, dataSums_));
    }

    static constexpr Position kBlocksPerWindow = 16;

    const uint8_t* image_;
    Position size_;
    ScanUse scan_;
    Position windowFirstBlock_ = 0;  // blocks [first, first + count) are scanned
    Position windowBlocks_ = 0;
    Position windowDescriptors_[kBlocksPerWindow] = {};
    HeaderWordSums headerSums_;
    BlockByteSums dataSums_;
    ChainMemo<GroupId> chains_;
};

int RunSearch(const uint8_t* buffer, uint32_t size, BiosDescriptorFields* out, TableUse use,
              ScanUse scan = ScanUse::kWidest) {
    if (buffer == nullptr) {
        return 0;
    }
    // One group per candidate volume at most.
    if (size / kVolumeCandidateStep < std::numeric_limits<uint16_t>::max()) {
        return DescriptorSearch<uint16_t>(buffer, size, use, scan).Run(out);
    }
    return DescriptorSearch<uint32_t>(buffer, size, use, scan).Run(out);
}

}  // namespace

int FindBiosDescriptor(const uint8_t* buffer, uint32_t size, BiosDescriptorFields* out) {
    try {
        return RunSearch(buffer, size, out, TableUse::kAdaptive);
    } catch (const std::bad_alloc&) {
        // Only the group list can throw; *out is written just before returning 1.
        return RunSearch(buffer, size, out, TableUse::kNone);
    }
}

namespace detail {
int FindBiosDescriptorUnassisted(const uint8_t* buffer, uint32_t size, BiosDescriptorFields* out) {
    return RunSearch(buffer, size, out, TableUse::kNone);
}

int FindBiosDescriptorEagerTables(const uint8_t* buffer, uint32_t size, BiosDescriptorFields* out) {
    return RunSearch(buffer, size, out, TableUse::kEager);
}

int FindBiosDescriptorPortableScan(const uint8_t* buffer, uint32_t size, BiosDescriptorFields* out) {
    return RunSearch(buffer, size, out, TableUse::kAdaptive, ScanUse::kPortable);
}
}  // namespace detail

int VerifyFirmwareVolume(const uint8_t* image, uint32_t imageSize, uint32_t volumeOffset) {
    VolumeFields fields;
    if (image == nullptr || !ReadVolumeFields(image, imageSize, volumeOffset, &fields)) {
        return 0;
    }
    const Position checksumBytes = HeaderChecksumBytes(fields.headerLength);
    if (checksumBytes > Position{imageSize} - volumeOffset ||
        DirectWordSum(image + volumeOffset, checksumBytes) != 0) {
        return 0;
    }
    if (fields.headerLength >= fields.length) {
        return 1;
    }
    DirectByteSums sums(image);
    const ChainEnd end = WalkChain(image, imageSize, Position{volumeOffset} + fields.headerLength,
                                   Position{volumeOffset} + fields.length, sums);
    return WalkSucceeds(volumeOffset, fields, end) ? 1 : 0;
}

}  // namespace vossel
