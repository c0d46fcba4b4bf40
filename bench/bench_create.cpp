// bench_create: the speed and the memory of SfxArchive::create.
//
// Speed: create over a mixed corpus, next to zlib's own level-6 deflate over
// the same files, in alternating rounds. Memory: the peak resident set of a
// child process that builds from a 1 MiB file against one that builds from
// a 256 MiB file.
//
//   bench_create [--corpus DIR] [--mb N] [--small N] [--rounds N]
//                [--zbuf BYTES] [--only create|zlib] [--keep] [--no-speed]
//                [--no-memory]
//
// The memory children are this program started again:
//   bench_create --memory-child SOURCE STUB OUTPUT
#include "bench_os.h"
#include "sfx_archive.h"

#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

namespace {

const uint64_t KiB = 1024;
const uint64_t MiB = 1024 * 1024;
// Bytes generated and written per step, so that no file of the corpus is
// ever held whole in memory.
const size_t GENERATE_CHUNK = MiB;
const size_t COMPRESSED_STEP = 64 * 1024;

struct Options {
    std::string corpus;       // a folder to take instead of generating one
    uint64_t corpusMiB = 200; // size of the generated corpus
    uint32_t smallFiles = 4000;
    int rounds = 4;
    size_t zlibBuffer = 64 * KiB;  // the baseline's input and output buffers
    bool keep = false;
    bool speed = true;
    bool memory = true;
    // For profiling one contender alone: "create" or "zlib"; empty runs both.
    std::string only;
};

const char USAGE[] =
    "usage: bench_create [--corpus DIR] [--mb N] [--small N] [--rounds N]\n"
    "                    [--zbuf BYTES] [--only WHICH] [--keep] [--no-speed]\n"
    "                    [--no-memory]\n"
    "  --corpus DIR  time over the files below DIR instead of a generated corpus\n"
    "  --mb N        size of the generated corpus in MiB (200)\n"
    "  --small N     how many small files it has (4000)\n"
    "  --rounds N    alternating rounds of create and zlib alone (4)\n"
    "  --zbuf BYTES  buffer size of the zlib-alone baseline (65536)\n"
    "  --only WHICH  run only \"create\" or only \"zlib\" (for profiling)\n"
    "  --keep        leave the temporary folder in place\n"
    "  --no-speed, --no-memory  skip one of the two measurements\n";

bool parseNumber(const char* text, uint64_t low, uint64_t high, uint64_t* value) {
    if (text == nullptr || *text < '0' || *text > '9') return false;
    errno = 0;
    char* end = nullptr;
    unsigned long long parsed = std::strtoull(text, &end, 10);
    if (errno != 0 || *end != '\0' || parsed < low || parsed > high) return false;
    *value = parsed;
    return true;
}

bool parseOptions(int argc, char** argv, Options* options) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const char* next = i + 1 < argc ? argv[i + 1] : nullptr;
        uint64_t number = 0;
        if (arg == "--corpus" && next != nullptr) {
            options->corpus = next;
            ++i;
        } else if (arg == "--mb" && parseNumber(next, 1, 64 * KiB, &number)) {
            options->corpusMiB = number;
            ++i;
        } else if (arg == "--small" && parseNumber(next, 0, 1000000, &number)) {
            options->smallFiles = static_cast<uint32_t>(number);
            ++i;
        } else if (arg == "--rounds" && parseNumber(next, 1, 100, &number)) {
            options->rounds = static_cast<int>(number);
            ++i;
        } else if (arg == "--zbuf" && parseNumber(next, 256, 64 * MiB, &number)) {
            options->zlibBuffer = static_cast<size_t>(number);
            ++i;
        } else if (arg == "--only" && next != nullptr &&
                   (std::strcmp(next, "create") == 0 || std::strcmp(next, "zlib") == 0)) {
            options->only = next;
            ++i;
        } else if (arg == "--keep") {
            options->keep = true;
        } else if (arg == "--no-speed") {
            options->speed = false;
        } else if (arg == "--no-memory") {
            options->memory = false;
        } else {
            return false;
        }
    }
    return true;
}

double toMB(uint64_t bytes) { return static_cast<double>(bytes) / 1e6; }
double toMiB(uint64_t bytes) { return static_cast<double>(bytes) / static_cast<double>(MiB); }

// --- Deterministic content ---------------------------------------------------

// xoshiro256** seeded through splitmix64: the same corpus on every machine.
class Rng {
public:
    explicit Rng(uint64_t seed) {
        for (uint64_t& word : state) {
            seed += 0x9E3779B97F4A7C15u;
            uint64_t z = seed;
            z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
            z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
            word = z ^ (z >> 31);
        }
    }
    uint64_t next() {
        const uint64_t result = rotl(state[1] * 5, 7) * 9;
        const uint64_t t = state[1] << 17;
        state[2] ^= state[0];
        state[3] ^= state[1];
        state[1] ^= state[2];
        state[0] ^= state[3];
        state[2] ^= t;
        state[3] = rotl(state[3], 45);
        return result;
    }
    // Uniform in [0, n).
    uint32_t below(uint32_t n) {
        return static_cast<uint32_t>(((next() >> 32) * static_cast<uint64_t>(n)) >> 32);
    }
    // Uniform in [0, 1).
    double unit() { return static_cast<double>(next() >> 11) * (1.0 / 9007199254740992.0); }

private:
    static uint64_t rotl(uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }
    uint64_t state[4];
};

const char* const WORDS[] = {
    "the", "of", "and", "to", "a", "in", "is", "that", "for", "it", "as", "was", "with", "be",
    "by", "on", "not", "he", "this", "are", "or", "his", "from", "at", "which", "but", "have",
    "an", "had", "they", "you", "were", "their", "one", "all", "we", "can", "her", "has",
    "there", "been", "if", "more", "when", "will", "would", "who", "so", "no", "she", "other",
    "its", "may", "these", "into", "than", "time", "only", "some", "could", "them", "what",
    "two", "then", "first", "any", "new", "very", "also", "like", "over", "such", "our",
    "after", "most", "made", "should", "between", "many", "before", "must", "through",
    "years", "where", "much", "your", "way", "well", "down", "because", "each", "just",
    "those", "people", "how", "too", "little", "state", "good", "both", "under", "world",
    "program", "window", "archive", "entry", "stream", "folder", "runtime", "install",
    "viewer", "document", "license", "register", "value", "option", "product", "studio",
    "content", "picture", "chapter", "section", "library", "version", "machine", "service",
    "network", "printer", "keyboard", "settings", "question", "answer", "morning", "evening",
    "mountain", "river", "harbour", "village", "garden", "kitchen", "market", "station",
    "although", "however", "therefore", "meanwhile", "otherwise", "perhaps", "certainly",
    "quickly", "slowly", "carefully", "together", "against", "without", "within", "around",
    "remember", "consider", "describe", "continue", "believe", "understand", "happen",
    "yellow", "silver", "bright", "narrow", "ancient", "gentle", "curious", "familiar",
    "electric", "distant", "hollow", "patient", "sudden", "quiet", "heavy", "simple"};
const uint32_t WORD_COUNT = sizeof WORDS / sizeof WORDS[0];

const char* const TAGS[] = {"alpha\0\0", "bravo\0\0", "delta\0\0", "gamma\0\0",
                            "kappa\0\0", "omega\0\0", "sigma\0\0", "theta\0\0"};

enum Kind { KIND_TEXT, KIND_STRUCTURED, KIND_RANDOM, KIND_COMPRESSED, KIND_COUNT };
const char* const KIND_NAMES[KIND_COUNT] = {"text", "structured", "random", "compressed"};
const char* const KIND_DESCRIPTIONS[KIND_COUNT] = {
    "prose from a word list, numbers, paragraphs",
    "binary records: counters, small ints, floats, tags",
    "uniform random bytes",
    "level-1 zlib streams of such prose"};

// Produces content of each kind, chunk by chunk; the records and sentences
// carry on from one chunk to the next.
class Generator {
public:
    explicit Generator(uint64_t seed) : rng(seed), recordId(0), walk(0), wordsLeft(0), sentencesLeft(0) {}

    void append(Kind kind, size_t n, std::string* out) {
        switch (kind) {
        case KIND_TEXT: appendText(n, out); break;
        case KIND_STRUCTURED: appendStructured(n, out); break;
        default: appendRandom(n, out); break;
        }
    }

private:
    void appendText(size_t n, std::string* out) {
        const size_t target = out->size() + n;
        char number[16];
        while (out->size() < target) {
            const bool startOfSentence = wordsLeft == 0;
            if (startOfSentence) wordsLeft = 5 + rng.below(14);
            if (rng.below(25) == 0) {
                std::snprintf(number, sizeof number, "%u", rng.below(100000));
                out->append(number);
            } else {
                // Squaring a uniform number favours the common words at the
                // front of the list, as in real prose.
                const double u = rng.unit();
                const char* word = WORDS[static_cast<uint32_t>(u * u * WORD_COUNT)];
                const size_t at = out->size();
                out->append(word);
                if (startOfSentence) (*out)[at] = static_cast<char>((*out)[at] - 'a' + 'A');
            }
            if (--wordsLeft > 0) {
                out->append(rng.below(9) == 0 ? ", " : " ");
            } else if (sentencesLeft == 0) {
                out->append(".\n\n");
                sentencesLeft = 3 + rng.below(5);
            } else {
                --sentencesLeft;
                out->append(". ");
            }
        }
        out->resize(target);
    }

    void appendStructured(size_t n, std::string* out) {
        const size_t target = out->size() + n;
        unsigned char record[32];
        while (out->size() < target) {
            std::memset(record, 0, sizeof record);
            putU32(record, ++recordId);
            record[4] = static_cast<unsigned char>(rng.below(12));
            record[6] = static_cast<unsigned char>(1u << rng.below(8));
            walk += static_cast<int32_t>(rng.below(201)) - 100;
            putU32(record + 8, static_cast<uint32_t>(walk));
            const float sample = static_cast<float>(walk) * 0.01f + static_cast<float>(rng.unit());
            std::memcpy(record + 12, &sample, sizeof sample);
            std::memcpy(record + 16, TAGS[rng.below(8)], 8);
            putU32(record + 24, rng.below(1000));
            out->append(reinterpret_cast<const char*>(record), sizeof record);
        }
        out->resize(target);
    }

    void appendRandom(size_t n, std::string* out) {
        const size_t target = out->size() + n;
        while (out->size() < target) {
            const uint64_t word = rng.next();
            out->append(reinterpret_cast<const char*>(&word), sizeof word);
        }
        out->resize(target);
    }

    static void putU32(unsigned char* at, uint32_t value) {
        for (int i = 0; i < 4; ++i) at[i] = static_cast<unsigned char>(value >> (8 * i));
    }

    Rng rng;
    uint32_t recordId;
    int32_t walk;
    uint32_t wordsLeft;
    uint32_t sentencesLeft;
};

// Writes `size` bytes of plain content, one chunk at a time.
bool writePlainFile(Generator& generator, Kind kind, const std::string& path, uint64_t size) {
    bench::File file;
    if (!file.create(path)) return false;
    std::string chunk;
    for (uint64_t left = size; left > 0;) {
        const size_t step = static_cast<size_t>(std::min<uint64_t>(left, GENERATE_CHUNK));
        chunk.clear();
        generator.append(kind, step, &chunk);
        if (!file.writeAll(chunk.data(), chunk.size())) return false;
        left -= step;
    }
    return file.close();
}

// Writes one zlib stream of generated prose whose length is `size` or a
// little more: data that a second deflate can hardly shrink.
bool writeCompressedFile(Generator& generator, const std::string& path, uint64_t size) {
    bench::File file;
    if (!file.create(path)) return false;
    z_stream stream;
    std::memset(&stream, 0, sizeof stream);
    if (deflateInit(&stream, 1) != Z_OK) return false;

    std::string chunk;
    std::vector<unsigned char> out(GENERATE_CHUNK);
    bool ok = true;
    bool finished = false;
    while (ok && !finished) {
        const int flush = stream.total_out >= size ? Z_FINISH : Z_NO_FLUSH;
        chunk.clear();
        // Small steps keep the stream from running far past `size`.
        if (flush == Z_NO_FLUSH) generator.append(KIND_TEXT, COMPRESSED_STEP, &chunk);
        stream.next_in = reinterpret_cast<Bytef*>(&chunk[0]);
        stream.avail_in = static_cast<uInt>(chunk.size());
        do {
            stream.next_out = out.data();
            stream.avail_out = static_cast<uInt>(out.size());
            const int result = deflate(&stream, flush);
            if (result == Z_STREAM_ERROR) {
                ok = false;
                break;
            }
            finished = result == Z_STREAM_END;
            const size_t have = out.size() - stream.avail_out;
            if (have != 0 && !file.writeAll(out.data(), have)) ok = false;
        } while (ok && stream.avail_out == 0);
    }
    // After a failure deflateEnd reports the unfinished stream; ok is
    // already false then.
    const bool ended = deflateEnd(&stream) == Z_OK;
    return file.close() && ok && ended;
}

// --- The corpus --------------------------------------------------------------

struct Category {
    std::string name;
    std::string description;
    uint32_t files = 0;
    uint64_t bytes = 0;
};

struct Corpus {
    std::string root;
    std::vector<std::string> files;
    uint64_t bytes = 0;
    std::vector<Category> categories;  // empty for a corpus that was given
};

const uint64_t SMALL_MIN = 200;
const uint64_t SMALL_MAX = 4096;
const uint32_t SMALL_PER_FOLDER = 500;

// Splits `total` into `count` sizes between about half and one and a half
// times the mean.
std::vector<uint64_t> splitSizes(Rng& rng, uint64_t total, uint32_t count) {
    std::vector<double> weights(count);
    double sum = 0;
    for (double& weight : weights) {
        weight = 0.5 + rng.unit();
        sum += weight;
    }
    std::vector<uint64_t> sizes(count);
    uint64_t given = 0;
    for (uint32_t i = 0; i + 1 < count; ++i) {
        sizes[i] = static_cast<uint64_t>(static_cast<double>(total) * weights[i] / sum);
        given += sizes[i];
    }
    sizes[count - 1] = total > given ? total - given : 1;
    return sizes;
}

bool generateCorpus(const Options& options, const std::string& root, Corpus* corpus) {
    corpus->root = root;
    if (!bench::makeFolder(root)) return false;
    Rng rng(20240601);
    Generator generator(1);
    char name[64];

    // Thousands of small files, mostly prose, in folders of a few hundred.
    Category small;
    small.name = "small";
    small.description = "200 B to 4 KiB each: 60% prose, 25% records, 15% random";
    const std::string smallRoot = root + "/small";
    if (!bench::makeFolder(smallRoot)) return false;
    for (uint32_t i = 0; i < options.smallFiles; ++i) {
        const std::string folder = smallRoot + "/" + std::to_string(i / SMALL_PER_FOLDER);
        if (i % SMALL_PER_FOLDER == 0 && !bench::makeFolder(folder)) return false;
        const uint32_t pick = rng.below(100);
        const Kind kind = pick < 60 ? KIND_TEXT : pick < 85 ? KIND_STRUCTURED : KIND_RANDOM;
        const uint64_t size = SMALL_MIN + rng.below(static_cast<uint32_t>(SMALL_MAX - SMALL_MIN + 1));
        std::snprintf(name, sizeof name, "/%05u.%s", i, kind == KIND_TEXT ? "txt" : "dat");
        if (!writePlainFile(generator, kind, folder + name, size)) return false;
        ++small.files;
        small.bytes += size;
    }

    // The rest of the size in larger files, shared out among the kinds.
    const uint64_t wanted = options.corpusMiB * MiB;
    const uint64_t large = wanted > small.bytes + MiB ? wanted - small.bytes : MiB;
    struct Share {
        Kind kind;
        double part;
        uint32_t files;
    };
    const Share shares[] = {{KIND_TEXT, 0.40, 30},
                            {KIND_STRUCTURED, 0.15, 10},
                            {KIND_RANDOM, 0.15, 8},
                            {KIND_COMPRESSED, 0.30, 10}};
    for (const Share& share : shares) {
        Category category;
        category.name = KIND_NAMES[share.kind];
        category.description = KIND_DESCRIPTIONS[share.kind];
        const std::string folder = root + "/" + category.name;
        if (!bench::makeFolder(folder)) return false;
        const uint64_t total = static_cast<uint64_t>(static_cast<double>(large) * share.part);
        const std::vector<uint64_t> sizes = splitSizes(rng, total, share.files);
        for (uint32_t i = 0; i < share.files; ++i) {
            std::snprintf(name, sizeof name, "/%02u.bin", i);
            const std::string path = folder + name;
            const bool written = share.kind == KIND_COMPRESSED
                                     ? writeCompressedFile(generator, path, sizes[i])
                                     : writePlainFile(generator, share.kind, path, sizes[i]);
            uint64_t size = 0;
            if (!written || !bench::fileSize(path, &size)) return false;
            ++category.files;
            category.bytes += size;
        }
        corpus->categories.push_back(category);
    }
    corpus->categories.push_back(small);
    return true;
}

// Lists the corpus and reads every file once, so that both contenders find
// it in the page cache.
bool loadCorpus(Corpus* corpus) {
    if (!bench::listFiles(corpus->root, &corpus->files) || corpus->files.empty()) return false;
    std::vector<unsigned char> buffer(MiB);
    corpus->bytes = 0;
    for (const std::string& path : corpus->files) {
        bench::File file;
        if (!file.openRead(path)) return false;
        for (;;) {
            size_t got = 0;
            if (!file.read(buffer.data(), buffer.size(), &got)) return false;
            if (got == 0) break;
            corpus->bytes += got;
        }
        if (!file.close()) return false;
    }
    return true;
}

// --- The two contenders ------------------------------------------------------

// Time and output of one contender over some slices.
struct Tally {
    double wall = 0;
    double cpu = 0;           // this process's processor time
    uint64_t compressed = 0;  // bytes of all zlib streams together
};

uint64_t progressEvents = 0;

// A progress function that does what a caller's cheapest one would: note
// the event.
void countEvent(int32_t, void*, uint32_t) { ++progressEvents; }

size_t sliceCount(const Corpus& corpus) {
    return (corpus.files.size() + SFX_MAX_ENTRIES - 1) / SFX_MAX_ENTRIES;
}

// The files of one slice, at most as many as one archive object's table
// holds. The files are dealt out in turn, so that every slice gets a share
// of each kind and the slices take about the same time.
std::vector<const std::string*> sliceFiles(const Corpus& corpus, size_t slice) {
    std::vector<const std::string*> files;
    for (size_t i = slice; i < corpus.files.size(); i += sliceCount(corpus)) {
        files.push_back(&corpus.files[i]);
    }
    return files;
}

// Measures one step on both clocks.
class Stopwatch {
public:
    Stopwatch() : wall(bench::monotonicSeconds()), cpu(bench::processSeconds()) {}
    void addTo(Tally* tally) const {
        tally->wall += bench::monotonicSeconds() - wall;
        tally->cpu += bench::processSeconds() - cpu;
    }

private:
    double wall;
    double cpu;
};

// One fresh archive object for the slice; only create() itself is timed.
// The output is checked for the length that the entries' streams and the
// trailer must give, then removed.
bool createSlice(const Corpus& corpus, size_t slice, const std::string& stub, uint64_t stubSize,
                 const std::string& output, Tally* tally) {
    std::unique_ptr<SfxArchive> archive(new (std::nothrow) SfxArchive());
    if (!archive) {
        std::fprintf(stderr, "bench_create: no memory for an archive object\n");
        return false;
    }
    for (const std::string* path : sliceFiles(corpus, slice)) {
        if (archive->addFile(path->c_str(), corpus.root.c_str()) != 1) {
            std::fprintf(stderr, "bench_create: addFile refused %s\n", path->c_str());
            return false;
        }
    }

    const Stopwatch stopwatch;
    const int32_t code = archive->create(stub.c_str(), output.c_str(), countEvent, 0);
    stopwatch.addTo(tally);
    if (code != SFX_OK) {
        std::fprintf(stderr, "bench_create: create gave %d for slice %zu\n", code, slice);
        bench::removeFile(output);  // may not exist; nothing to report then
        return false;
    }

    uint64_t expected = stubSize + SFX_END_BLOCK_SIZE;
    for (int32_t i = 0; i < archive->entryCount(); ++i) {
        const SfxEntry& entry = archive->entry(i);
        tally->compressed += entry.compressedSize;
        // The fixed part of a record includes the name's length field.
        expected += entry.compressedSize + SFX_RECORD_FIXED_SIZE + entry.name.size();
    }
    uint64_t actual = 0;
    const bool measured = bench::fileSize(output, &actual);
    const bool removed = bench::removeFile(output);
    if (!measured || actual != expected || !removed) {
        std::fprintf(stderr, "bench_create: output of slice %zu is %" PRIu64
                     " bytes, expected %" PRIu64 "\n", slice, actual, expected);
        return false;
    }
    return true;
}

// zlib alone over one file: deflateInit(6), deflate with ordinary buffers,
// deflateEnd, the stream appended to `output`.
bool deflateFile(const std::string& path, bench::File& output, std::vector<unsigned char>& in,
                 std::vector<unsigned char>& out, uint64_t* compressed) {
    bench::File source;
    if (!source.openRead(path)) return false;
    z_stream stream;
    std::memset(&stream, 0, sizeof stream);
    if (deflateInit(&stream, SFX_COMPRESSION_LEVEL) != Z_OK) return false;

    bool ok = true;
    for (bool finished = false; ok && !finished;) {
        size_t got = 0;
        if (!source.read(in.data(), in.size(), &got)) {
            ok = false;
            break;
        }
        const int flush = got == 0 ? Z_FINISH : Z_NO_FLUSH;
        stream.next_in = in.data();
        stream.avail_in = static_cast<uInt>(got);
        do {
            stream.next_out = out.data();
            stream.avail_out = static_cast<uInt>(out.size());
            const int code = deflate(&stream, flush);
            if (code == Z_STREAM_ERROR) {
                ok = false;
                break;
            }
            finished = code == Z_STREAM_END;
            const size_t have = out.size() - stream.avail_out;
            if (have != 0 && !output.writeAll(out.data(), have)) ok = false;
        } while (ok && stream.avail_out == 0);
    }
    *compressed += stream.total_out;
    const bool ended = deflateEnd(&stream) == Z_OK;
    return source.close() && ok && ended;
}

// The same slice through zlib alone, into one output file. Opening and
// closing the output are timed, as they are inside create.
bool zlibSlice(const Corpus& corpus, size_t slice, const std::string& output,
               std::vector<unsigned char>& in, std::vector<unsigned char>& out, Tally* tally) {
    const std::vector<const std::string*> files = sliceFiles(corpus, slice);
    const Stopwatch stopwatch;
    bench::File file;
    bool ok = file.create(output);
    for (size_t i = 0; ok && i < files.size(); ++i) {
        ok = deflateFile(*files[i], file, in, out, &tally->compressed);
        if (!ok) std::fprintf(stderr, "bench_create: zlib failed on %s\n", files[i]->c_str());
    }
    ok = file.close() && ok;
    stopwatch.addTo(tally);
    const bool removed = bench::removeFile(output);
    return ok && removed;
}

// --- Figures -----------------------------------------------------------------

double minimum(std::vector<double> values) { return *std::min_element(values.begin(), values.end()); }

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

void printCorpus(const Corpus& corpus, bool generated) {
    std::printf("corpus: %s (%s)\n", corpus.root.c_str(), generated ? "generated" : "given");
    for (const Category& category : corpus.categories) {
        std::printf("  %-10s %5u files %8.1f MiB  %s\n", category.name.c_str(), category.files,
                    toMiB(category.bytes), category.description.c_str());
    }
    std::printf("  %-10s %5zu files %8.1f MiB = %.1f MB, dealt into %zu slices of at most %d"
                " files\n", "total", corpus.files.size(), toMiB(corpus.bytes), toMB(corpus.bytes),
                sliceCount(corpus), SFX_MAX_ENTRIES);
}

// Min and median of both contenders on one clock, and their ratios.
void printSummary(const char* clock, const std::vector<double>& create,
                  const std::vector<double>& zlib, uint64_t bytes) {
    std::vector<double> ratios;
    for (size_t i = 0; i < create.size(); ++i) ratios.push_back(create[i] / zlib[i]);
    const double createMin = minimum(create), zlibMin = minimum(zlib);
    const double createMedian = median(create), zlibMedian = median(zlib);
    std::printf("  %s: create min %.3f s, median %.3f s (%.1f / %.1f MB/s);"
                " zlib min %.3f s, median %.3f s (%.1f / %.1f MB/s)\n",
                clock, createMin, createMedian, toMB(bytes) / createMin, toMB(bytes) / createMedian,
                zlibMin, zlibMedian, toMB(bytes) / zlibMin, toMB(bytes) / zlibMedian);
    std::printf("  %s create/zlib: of minima %.4f, of medians %.4f, median of rounds %.4f"
                " (at most 1.05: %s)\n",
                clock, createMin / zlibMin, createMedian / zlibMedian, median(ratios),
                createMin / zlibMin <= 1.05 ? "met" : "missed");
}

bool measureSpeed(const Options& options, const Corpus& corpus, const std::string& work) {
    // A stub of a size a real one might have; copying it is part of create.
    const std::string stub = work + "/stub.bin";
    const uint64_t stubSize = 64 * KiB;
    Generator generator(7);
    if (!writePlainFile(generator, KIND_STRUCTURED, stub, stubSize)) return false;
    const std::string output = work + "/out.bin";
    std::vector<unsigned char> in(options.zlibBuffer);
    std::vector<unsigned char> out(options.zlibBuffer);
    const bool runCreate = options.only != "zlib";
    const bool runZlib = options.only != "create";

    std::printf("\nspeed: %d rounds; in each, every slice goes through create and through zlib"
                " alone (%zu-byte buffers), who goes first alternating\n",
                options.rounds, options.zlibBuffer);
    std::printf("  round   create s     zlib s   ratio   |  create cpu s  zlib cpu s   ratio\n");
    std::vector<double> createWall, zlibWall, createCpu, zlibCpu;
    Tally created, zlibbed;
    for (int round = 0; round < options.rounds; ++round) {
        created = Tally();
        zlibbed = Tally();
        for (size_t slice = 0; slice < sliceCount(corpus); ++slice) {
            // Changing who goes first from step to step spreads drift in the
            // machine's load over both.
            const bool createFirst = (round + slice) % 2 == 0;
            bool ok = true;
            if (runCreate && createFirst) {
                ok = createSlice(corpus, slice, stub, stubSize, output, &created);
            }
            if (ok && runZlib) ok = zlibSlice(corpus, slice, output, in, out, &zlibbed);
            if (ok && runCreate && !createFirst) {
                ok = createSlice(corpus, slice, stub, stubSize, output, &created);
            }
            if (!ok) return false;
        }
        createWall.push_back(created.wall);
        zlibWall.push_back(zlibbed.wall);
        createCpu.push_back(created.cpu);
        zlibCpu.push_back(zlibbed.cpu);
        std::printf("  %5d  %9.3f  %9.3f  %6.3f   |  %10.3f  %10.3f  %6.3f\n", round + 1,
                    created.wall, zlibbed.wall, created.wall / zlibbed.wall, created.cpu,
                    zlibbed.cpu, created.cpu / zlibbed.cpu);
        std::fflush(stdout);
    }
    // One contender alone is for a profiler; there is nothing to compare.
    if (!runCreate || !runZlib) return true;

    printSummary("wall", createWall, zlibWall, corpus.bytes);
    printSummary("cpu ", createCpu, zlibCpu, corpus.bytes);
    // Same zlib, same level, same bytes: the streams must be the same length.
    std::printf("  streams: create %.1f MB, zlib %.1f MB (%s), %.1f%% of the input\n",
                toMB(created.compressed), toMB(zlibbed.compressed),
                created.compressed == zlibbed.compressed ? "equal" : "DIFFERENT",
                100.0 * static_cast<double>(created.compressed) / static_cast<double>(corpus.bytes));
    return created.compressed == zlibbed.compressed;
}

// --- Memory --------------------------------------------------------------------

// The child: one archive from one file, then its own peak as a line.
int memoryChild(const char* source, const char* stub, const char* output) {
    std::string base = source;
    const std::string::size_type cut = base.rfind('/');
    base.erase(cut == std::string::npos ? 0 : cut);
    std::unique_ptr<SfxArchive> archive(new (std::nothrow) SfxArchive());
    if (!archive || archive->addFile(source, base.c_str()) != 1) return 2;
    const int32_t code = archive->create(stub, output, countEvent, 0);
    std::printf("result %d vmhwm %ld\n", code, bench::ownMemoryKiB("VmHWM"));
    return code == SFX_OK ? 0 : 1;
}

struct MemoryRun {
    long maxRssKiB;
    long vmHwmKiB;
};

bool runMemoryChild(const std::string& self, const std::string& source, const std::string& stub,
                    const std::string& output, MemoryRun* run) {
    bench::ChildResult child;
    const std::vector<std::string> args = {"bench_create", "--memory-child", source, stub, output};
    const bool ran = bench::runChild(self, args, &child);
    bench::removeFile(output);  // absent when the child failed early
    int code = 0;
    long hwm = -1;
    if (!ran || child.exitCode != 0 ||
        std::sscanf(child.output.c_str(), "result %d vmhwm %ld", &code, &hwm) != 2) {
        std::fprintf(stderr, "bench_create: the memory child for %s failed (exit %d): %s\n",
                     source.c_str(), ran ? child.exitCode : -1, child.output.c_str());
        return false;
    }
    run->maxRssKiB = child.maxRssKiB;
    run->vmHwmKiB = hwm;
    return true;
}

bool measureMemory(const std::string& folder) {
    std::string self;
    if (!bench::selfPath(&self)) return false;
    const std::string stub = folder + "/stub.bin";
    const std::string smallFile = folder + "/small.bin";
    const std::string largeFile = folder + "/large.bin";
    const std::string output = folder + "/out.bin";
    // Random bytes: zlib's state has the same size whatever the data, and
    // these go fastest at level 6 while pushing the most bytes through the
    // output side.
    Generator generator(11);
    if (!writePlainFile(generator, KIND_STRUCTURED, stub, 64 * KiB) ||
        !writePlainFile(generator, KIND_RANDOM, smallFile, MiB) ||
        !writePlainFile(generator, KIND_RANDOM, largeFile, 256 * MiB)) {
        return false;
    }

    std::printf("\nmemory: one child process per build, started fresh from this program\n");
    // A forked child's ru_maxrss cannot fall below what the parent had
    // resident at the fork; VmHWM, read by the child itself, starts at exec.
    std::printf("  this process's resident set at the forks: %ld KiB\n",
                bench::ownMemoryKiB("VmRSS"));
    std::printf("  source       ru_maxrss KiB   VmHWM KiB\n");
    MemoryRun runs[2][2];  // [small, large][repeat]
    for (int repeat = 0; repeat < 2; ++repeat) {
        for (int which = 0; which < 2; ++which) {
            const std::string& source = which == 0 ? smallFile : largeFile;
            MemoryRun& run = runs[which][repeat];
            if (!runMemoryChild(self, source, stub, output, &run)) return false;
            std::printf("  %-10s  %13ld  %10ld\n", which == 0 ? "1 MiB" : "256 MiB",
                        run.maxRssKiB, run.vmHwmKiB);
            std::fflush(stdout);
        }
    }
    // The worst pairing: the largest large-file peak against the smallest
    // small-file one.
    const long rssGrowth = std::max(runs[1][0].maxRssKiB, runs[1][1].maxRssKiB) -
                           std::min(runs[0][0].maxRssKiB, runs[0][1].maxRssKiB);
    const long hwmGrowth = std::max(runs[1][0].vmHwmKiB, runs[1][1].vmHwmKiB) -
                           std::min(runs[0][0].vmHwmKiB, runs[0][1].vmHwmKiB);
    std::printf("  256 MiB minus 1 MiB, worst pairing: ru_maxrss %ld KiB, VmHWM %ld KiB"
                " (at most 1024 KiB: %s)\n",
                rssGrowth, hwmGrowth, rssGrowth <= 1024 && hwmGrowth <= 1024 ? "met" : "missed");
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 5 && std::strcmp(argv[1], "--memory-child") == 0) {
        return memoryChild(argv[2], argv[3], argv[4]);
    }
    if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
        std::fputs(USAGE, stdout);
        return 0;
    }
    Options options;
    if (!parseOptions(argc, argv, &options)) {
        std::fputs(USAGE, stderr);
        return 2;
    }

    std::string work;
    if (!bench::makeTempFolder("bench_create.", &work)) {
        std::fprintf(stderr, "bench_create: cannot make a folder below /tmp\n");
        return 1;
    }
    std::printf("work folder: %s\n", work.c_str());
    std::fflush(stdout);
    const double started = bench::monotonicSeconds();

    bool ok = true;
    // Memory first, while this process is small: its resident set is the
    // floor of every forked child's ru_maxrss.
    if (options.memory) {
        const std::string folder = work + "/memory";
        ok = bench::makeFolder(folder) && measureMemory(folder);
        if (!ok) std::fprintf(stderr, "bench_create: the memory measurement failed\n");
        // Gone before the timing starts, so that writing the large file
        // back to disk cannot compete with it.
        if (!options.keep && !bench::removeTree(folder)) ok = false;
    }
    if (ok && options.speed) {
        Corpus corpus;
        const bool generated = options.corpus.empty();
        const double generateStart = bench::monotonicSeconds();
        if (generated) {
            ok = generateCorpus(options, work + "/corpus", &corpus);
        } else {
            corpus.root = options.corpus;
            while (corpus.root.size() > 1 && corpus.root.back() == '/') corpus.root.pop_back();
        }
        // Once the new corpus is on disk, no write-back of it competes with
        // the timing.
        if (ok && generated) ok = bench::syncFileSystem(corpus.root);
        ok = ok && loadCorpus(&corpus);
        if (ok) {
            std::printf("\n");
            printCorpus(corpus, generated);
            std::printf("  (prepared in %.1f s)\n", bench::monotonicSeconds() - generateStart);
            ok = measureSpeed(options, corpus, work);
        }
        if (!ok) std::fprintf(stderr, "bench_create: the speed measurement failed\n");
    }

    if (options.keep) {
        std::printf("\nkept: %s\n", work.c_str());
    } else if (!bench::removeTree(work)) {
        std::fprintf(stderr, "bench_create: could not remove all of %s\n", work.c_str());
        ok = false;
    }
    std::printf("\nwhole run: %.1f s\n", bench::monotonicSeconds() - started);
    return ok ? 0 : 1;
}
