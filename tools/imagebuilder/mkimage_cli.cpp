#include "mkimage_cli.h"

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <optional>
#include <sstream>
#include <utility>

#include <CLI/CLI.hpp>

#include "image_builder.h"

namespace vossel::imagebuilder {
namespace {

constexpr const char kUsage[] =
    "usage:\n"
    "  vossel-mkimage award --size N --part PARTNUMB [--sig-offset N|none] [--filler B] -o FILE\n"
    "  vossel-mkimage uefi --size N --part PARTNUMB --date YYYY-MM-DD [--volume-offset N]...\n"
    "                 [--descriptor-volume I] [--no-descriptor] [--break WHAT]... [--filler B] -o FILE\n"
    "numbers: decimal or 0x hex, sizes may end in K or M; --sig-offset counts from E - 8192\n"
    "and may be negative; the part number is exactly 8 characters.\n";

class CommandError {
public:
    explicit CommandError(std::ostream& err) : err_(err) {}
    int operator()(const std::string& message) const {
        err_ << "vossel-mkimage: " << message << "\n"
             << "run 'vossel-mkimage --help' for usage\n";
        return kMkImageBadArguments;
    }

private:
    std::ostream& err_;
};

bool ParseSigned(const std::string& text, int64_t* value) {
    const bool negative = !text.empty() && text[0] == '-';
    uint64_t magnitude = 0;
    if (!ParseSize(negative ? text.substr(1) : text, uint64_t(INT64_MAX), &magnitude)) return false;
    *value = negative ? -int64_t(magnitude) : int64_t(magnitude);
    return true;
}

bool ParseDate(const std::string& text, BiosDescriptorLayout* d) {
    unsigned year = 0, month = 0, day = 0;
    char tail = 0;
    if (std::sscanf(text.c_str(), "%u-%u-%u%c", &year, &month, &day, &tail) != 3) return false;
    if (year > 0xFFFF || month > 0xFF || day > 0xFF) return false;
    d->Year = uint16_t(year);
    d->Month = uint8_t(month);
    d->Day = uint8_t(day);
    return true;
}

std::string Hex(uint64_t value) {
    std::ostringstream s;
    s << "0x" << std::hex << std::uppercase << value;
    return s.str();
}

// The options both kinds share, and the ones each adds.
struct Options {
    std::string Kind;
    std::optional<uint64_t> Size;
    std::optional<PartNumber> Part;
    uint8_t Filler = 0xFF;
    std::string Output;
    // award
    std::optional<int64_t> SignatureOffset = 0;
    // uefi
    bool HasDate = false;
    BiosDescriptorLayout Descriptor;
    std::vector<uint32_t> VolumeOffsets;
    size_t DescriptorVolume = 0;
    bool WithDescriptor = true;
    std::vector<ImageBreak> Breaks;
};

std::string BreakNames() {
    std::string names;
    for (const ImageBreakName& row : kImageBreakNames) names += std::string(names.empty() ? "" : ", ") + row.Name;
    return names;
}

// Empty when parsed, else the problem. CLI11 splits the command line into
// options and values (also --size=1M and -oFILE); the values are checked here,
// so that each problem is told in the program's own words. An option may be
// given again: the last value counts, except for the ones that add up.
std::string ParseOptions(const std::vector<std::string>& args, Options* o) {
    o->Kind = args[0];
    if (o->Kind != "award" && o->Kind != "uefi") return "unknown image kind '" + o->Kind + "' (award or uefi)";
    const bool uefi = o->Kind == "uefi";

    CLI::App app;
    app.set_help_flag();  // help is asked for before the image kind, see RunMkImage
    app.allow_extras();   // told below as unknown options, with the image kind
    struct Text {
        CLI::Option* Given = nullptr;
        std::string Value;
    };
    Text size, part, filler, output, signatureOffset, date, descriptorVolume;
    std::vector<std::string> volumeOffsets, breaks;
    bool noDescriptor = false;
    std::vector<std::pair<std::string, Text*>> valued;
    auto option = [&](const char* names, Text* text) {
        // A value that is missing is told as such, not as CLI11's count.
        text->Given = app.add_option(names, text->Value)
                          ->expected(0, 1)
                          ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
        const std::string all(names);
        valued.emplace_back(all.substr(0, all.find(',')), text);
    };
    option("--size", &size);
    option("--part", &part);
    option("--filler", &filler);
    option("-o,--output", &output);
    if (!uefi) {
        option("--sig-offset", &signatureOffset);
    } else {
        option("--date", &date);
        option("--descriptor-volume", &descriptorVolume);
        app.add_option("--volume-offset", volumeOffsets)->expected(0, 1)->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
        app.add_option("--break", breaks)->expected(0, 1)->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
        app.add_flag("--no-descriptor", noDescriptor);
    }
    std::vector<std::string> rest(args.rbegin(), args.rend() - 1);  // CLI11 takes them last first
    try {
        app.parse(rest);
    } catch (const CLI::ParseError& e) {
        return e.what();
    }
    if (!app.remaining().empty()) return "unknown option '" + app.remaining().front() + "' for " + o->Kind + " images";
    for (const auto& [name, text] : valued) {
        if (text->Given->count() > 0 && text->Value.empty()) return "option " + name + " needs a value";
    }
    for (const std::string& value : volumeOffsets) {
        if (value.empty()) return "option --volume-offset needs a value";
    }
    for (const std::string& value : breaks) {
        if (value.empty()) return "option --break needs a value";
    }

    uint64_t number = 0;
    if (size.Given->count() > 0) {
        if (!ParseSize(size.Value, 0xFFFFFFFFull, &number) || number == 0)
            return "bad size '" + size.Value + "' (1 to 4 GiB - 1, decimal or 0x hex, K or M suffix)";
        o->Size = number;
    }
    if (part.Given->count() > 0) {
        o->Part = MakePartNumber(part.Value);
        if (!o->Part) return "bad part number '" + part.Value + "' (exactly 8 characters)";
    }
    if (filler.Given->count() > 0) {
        if (!ParseSize(filler.Value, 0xFF, &number)) return "bad filler byte '" + filler.Value + "' (0 to 0xFF)";
        o->Filler = uint8_t(number);
    }
    o->Output = output.Value;
    if (!uefi && signatureOffset.Given->count() > 0) {
        int64_t offset = 0;
        if (signatureOffset.Value == "none") o->SignatureOffset.reset();
        else if (ParseSigned(signatureOffset.Value, &offset)) o->SignatureOffset = offset;
        else return "bad signature offset '" + signatureOffset.Value + "' (a number, or none)";
    }
    if (uefi) {
        if (date.Given->count() > 0) {
            if (!ParseDate(date.Value, &o->Descriptor)) return "bad date '" + date.Value + "' (YYYY-MM-DD)";
            o->HasDate = true;
        }
        for (const std::string& value : volumeOffsets) {
            if (!ParseSize(value, 0xFFFFFFFFull, &number)) return "bad volume offset '" + value + "'";
            o->VolumeOffsets.push_back(uint32_t(number));
        }
        if (descriptorVolume.Given->count() > 0) {
            if (!ParseSize(descriptorVolume.Value, 0xFFFF, &number))
                return "bad volume index '" + descriptorVolume.Value + "'";
            o->DescriptorVolume = size_t(number);
        }
        o->WithDescriptor = !noDescriptor;
        for (const std::string& value : breaks) {
            std::optional<ImageBreak> b = ParseImageBreak(value);
            if (!b) return "unknown break '" + value + "' (one of: " + BreakNames() + ")";
            o->Breaks.push_back(*b);
        }
    }
    if (!o->Size) return "--size is required";
    if (o->Output.empty()) return "-o FILE is required";
    if (uefi && !o->WithDescriptor) return {};
    if (!o->Part) return "--part is required";
    if (uefi && !o->HasDate) return "--date is required";
    return {};
}

bool WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    file.close();
    return bool(file);
}

}  // namespace

bool ParseSize(const std::string& text, uint64_t limit, uint64_t* value) {
    std::string digits = text;
    uint64_t scale = 1;
    if (!digits.empty() && (digits.back() == 'K' || digits.back() == 'k')) scale = 1024;
    if (!digits.empty() && (digits.back() == 'M' || digits.back() == 'm')) scale = 1024 * 1024;
    if (scale != 1) digits.pop_back();
    unsigned base = 10;
    if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
        base = 16;
        digits = digits.substr(2);
    }
    if (digits.empty()) return false;
    uint64_t result = 0;
    for (char c : digits) {
        unsigned digit = 0;
        if (c >= '0' && c <= '9') digit = unsigned(c - '0');
        else if (base == 16 && c >= 'a' && c <= 'f') digit = unsigned(c - 'a' + 10);
        else if (base == 16 && c >= 'A' && c <= 'F') digit = unsigned(c - 'A' + 10);
        else return false;
        if (result > (limit - digit) / base) return false;
        result = result * base + digit;
    }
    if (result > limit / scale) return false;
    *value = result * scale;
    return true;
}

int RunMkImage(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    const CommandError bad(err);
    if (args.empty()) return bad("say which image to make: award or uefi");
    if (args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
        out << kUsage << "breaks (uefi, on the descriptor's volume and file):\n";
        for (const ImageBreakName& row : kImageBreakNames) out << "  " << row.Name << ": " << row.Meaning << "\n";
        return kMkImageMade;
    }
    Options o;
    const std::string problem = ParseOptions(args, &o);
    if (!problem.empty()) return bad(problem);

    BuiltImage image;
    std::string summary;
    if (o.Kind == "award") {
        AwardImageLayout layout;
        layout.Size = uint32_t(*o.Size);
        layout.Filler = o.Filler;
        layout.SignatureOffset = o.SignatureOffset;
        layout.Part = *o.Part;
        image = BuildAwardImage(layout);
        summary = "Award image, part " + std::string(layout.Part.begin(), layout.Part.end()) +
                  (layout.SignatureOffset ? ", signature at E - 8192 + " + std::to_string(*layout.SignatureOffset)
                                        : ", no signature");
    } else {
        UefiRecipe recipe;
        recipe.Size = uint32_t(*o.Size);
        recipe.Filler = o.Filler;
        recipe.VolumeOffsets = o.VolumeOffsets;
        recipe.WithDescriptor = o.WithDescriptor;
        recipe.DescriptorVolume = o.DescriptorVolume;
        recipe.Descriptor = o.Descriptor;
        if (o.Part) recipe.Descriptor.Part = *o.Part;
        recipe.Breaks = o.Breaks;
        UefiImageLayout layout;
        const std::string why = DescribeUefiImage(recipe, &layout);
        if (!why.empty()) return bad(why);
        image = BuildUefiImage(layout);
        summary = "UEFI image, " + std::to_string(layout.Volumes.size()) + " volume(s)";
        if (recipe.WithDescriptor) {
            char date[32];
            std::snprintf(date, sizeof date, "%04u-%02u-%02u", unsigned(recipe.Descriptor.Year),
                          unsigned(recipe.Descriptor.Month), unsigned(recipe.Descriptor.Day));
            summary += ", descriptor " + std::string(recipe.Descriptor.Part.begin(), recipe.Descriptor.Part.end()) +
                       " " + date + " in the volume at " + Hex(layout.Volumes[recipe.DescriptorVolume].Offset);
        }
        for (ImageBreak b : o.Breaks) summary += ", broken: " + std::string(kImageBreakNames[size_t(b)].Name);
    }
    if (!image.ok()) return bad(image.Error);
    if (!WriteFile(o.Output, image.Bytes)) {
        err << "vossel-mkimage: cannot write " << o.Output << "\n";
        return kMkImageWriteFailed;
    }
    out << o.Output << ": " << summary << ", " << image.Bytes.size() << " bytes (" << Hex(image.Bytes.size())
        << ")\n";
    return kMkImageMade;
}

}  // namespace vossel::imagebuilder
