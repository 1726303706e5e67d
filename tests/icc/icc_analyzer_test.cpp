// The ICC profile header and tag table.
#include <gtest/gtest.h>

#include <algorithm>

#include <cstring>
#include <filesystem>
#include <span>
#include <sstream>

#include "icc/icc_analyzer.h"
#include "support/test_support.h"

using testing_support::Bytes;
using testing_support::ExpectGolden;

namespace {

constexpr const char* kSrgbProfile = "/usr/share/color/icc/sRGB.icc";

// Lays out the profile that starts at start, or whose bytes are those of
// pieces, in a new document, under a parent line; returns the tree as text.
std::string Lay(const Bytes& file, long start, std::span<const FilePiece> pieces = {})
{
    testing_support::TempDir dir;
    const std::string path = dir.Write("profile.bin", file);
    testing_support::StandaloneRun run(AnalysisMode::Detailed, "test.tif");
    const LineId parent = run.Lines().Append("[00000000] Offset", kTopLevel);
    FILE* fp = std::fopen(path.c_str(), "rb");
    std::fseek(fp, start, SEEK_SET);
    AnalysisRequest request;
    request.run = &run.run;
    request.fp = fp;
    request.mode = AnalysisMode::Detailed;
    request.parent = parent;
    request.pieces = pieces;
    CIccAnalyzer icc;
    icc.Analyze(request);
    std::fclose(fp);
    return testing_support::TreeText(run.Lines());
}

void Put32(Bytes& p, size_t at, uint32_t v)
{
    p[at] = uint8_t(v >> 24);
    p[at + 1] = uint8_t(v >> 16);
    p[at + 2] = uint8_t(v >> 8);
    p[at + 3] = uint8_t(v);
}

void PutSig(Bytes& p, size_t at, const char* sig)
{
    std::memcpy(&p[at], sig, 4);
}

bool Contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

// A header of zeros with a tag count of 0.
Bytes EmptyProfile()
{
    Bytes p(132, 0);
    Put32(p, 0, 132);
    return p;
}

}  // namespace

TEST(IccAnalyzer, RealProfileHeaderFieldByField)
{
    if (!std::filesystem::exists(kSrgbProfile))
        GTEST_SKIP() << kSrgbProfile << " is not installed";
    const Bytes profile = testing_support::ReadFile(kSrgbProfile);
    Bytes file(0x1000 + profile.size(), 0);
    std::copy(profile.begin(), profile.end(), file.begin() + 0x1000);
    const std::string d = Lay(file, 0x1000);
    ExpectGolden("icc/srgb_at_1000.txt", d);
    EXPECT_TRUE(Contains(d, "[00000000] Offset\n  /* --- ICC Profile Header --- */\n"
                            "    [00001000] Profile size = 0x00001b0a : 6922 [byte]\n"
                            "    [00001004] Preferred CMM Type = lcms : Little CMS CMM\n"
                            "    [00001008] Profile version = Version 2.3.0.0\n"
                            "    [0000100c] Profile/device class = mntr : Display Device profile\n"
                            "    [00001010] Data colour space = RGB  : rgbData\n"
                            "    [00001014] Profile connection space = XYZ  : XYZData\n"
                            "    [00001018] Date and time = 2004/08/13 12:18:06\n"
                            "    [00001024] Profile file signature = acsp\n"
                            "    [00001028] Primary platform = MSFT : Microsoft Corporation\n"
                            "    [0000102c] Profile flags = 00000000\n"
                            "      bit0 = 0 : NOT Embedded Profile\n"
                            "      bit1 = 0 : Profile can be used independently from the embedded colour data\n"
                            "    [00001030] Device manufacturer = lcms : UNDEFINED !!\n"
                            "    [00001034] Device model = Not used\n"
                            "    [00001038] Device attributes = 0x0000000000000000\n"
                            "      bit0 = 0 : Reflective\n      bit1 = 0 : Glossy\n      bit2 = 0 : Positive\n"
                            "      bit3 = 0 : Colour media\n"
                            "    [00001040] Rendering intent = 0x00000000 : Perceptual\n"
                            "    [00001044] Profile connection space illuminant : X=0,63190; Y=1,0; Z=0,54061\n"
                            "    [00001050] Profile creator = lcms : Little CMS CMM\n"
                            "    [00001054] Profile ID #0 = 0x00000000\n"
                            "    [00001058] Profile ID #1 = 0x00000000\n"
                            "    [0000105c] Profile ID #2 = 0x00000000\n"
                            "    [00001060] Profile ID #3 = 0x00000000\n"
                            "    [00001064] Reserved : 0x00001064 - 0x0000107f (28 [byte])\n"
                            "  /* --- ICC Tag Table --- */\n"
                            "    [00001080] Tag count = 0x0000000c : 12\n"
                            "    [00001084] Tag signature = dmnd : deviceMfgDescTag\n"
                            "      [00001088] Offset to beginning of tag data element = 0x00000114 "
                            "( + 0x00001000 = 0x00001114 )\n"
                            "      [0000108c] Size of tag data element = 0x0000006a\n"))
        << d;
}

TEST(IccAnalyzer, SignaturesZerosAndOddValues)
{
    Bytes p = EmptyProfile();
    Put32(p, 0, 0x80000000);                 // prints as a negative number
    PutSig(p, 4, "XXXX");                    // in no table
    Put32(p, 8, 0x02400000);
    PutSig(p, 12, "nmcl");
    PutSig(p, 16, "FCLR");
    PutSig(p, 20, "Lab ");
    Put32(p, 24, 0x07E80001);                // 2024/01, then day 0 and so on
    PutSig(p, 40, "SGI ");
    Put32(p, 44, 3);
    PutSig(p, 48, "none");
    Put32(p, 52, 0x0000042A);                // a zero byte ends the line
    Put32(p, 56, 0);
    Put32(p, 60, 5);
    Put32(p, 64, 0x00010000);
    PutSig(p, 80, "ADBE");
    PutSig(p, 88, "abcd");
    p[84] = 0xE9;                            // with 'a', one code page 932 character
    p[85] = 'a';
    p[86] = 'b';
    p[87] = 'c';
    const std::string d = Lay(p, 0);
    EXPECT_TRUE(Contains(d, "    [00000000] Profile size = 0x80000000 : -2147483648 [byte]\n"
                            "    [00000004] Preferred CMM Type = XXXX : UNDEFINED !!\n"
                            "    [00000008] Profile version = Version 2.4.0.0\n"
                            "    [0000000c] Profile/device class = nmcl : Named colour profile\n"
                            "    [00000010] Data colour space = FCLR : 15colourData\n"
                            "    [00000014] Profile connection space = Lab  : labData\n"
                            "    [00000018] Date and time = 2024/01/00 00:00:00\n"
                            "    [00000024] Profile file signature = Not used\n"
                            "    [00000028] Primary platform = SGI  : Silicon Graphics, Inc.\n"
                            "    [0000002c] Profile flags = 00000003\n"
                            "      bit0 = 1 : Embedded Profile\n"
                            "      bit1 = 1 : Profile canNOT be used independently from the embedded colour data\n"
                            "    [00000030] Device manufacturer = none : none\n"
                            "    [00000034] Device model = \n"
                            "    [00000038] Device attributes = 0x0000000000000005\n"
                            "      bit0 = 1 : Transparency\n      bit1 = 0 : Glossy\n      bit2 = 1 : Negative\n"
                            "      bit3 = 0 : Colour media\n"
                            "    [00000040] Rendering intent = 0x00010000 : UNDEFINED !!\n"
                            "    [00000044] Profile connection space illuminant : X=0,0; Y=0,0; Z=0,0\n"
                            "    [00000050] Profile creator = ADBE : Adobe CMM\n"
                            "    [00000054] Profile ID #0 = 饌bc\n"
                            "    [00000058] Profile ID #1 = abcd\n"
                            "    [0000005c] Profile ID #2 = 0x00000000\n"))
        << d;
    // Zero signatures use their "Not used" lines.
    const std::string zero = Lay(EmptyProfile(), 0);
    for (const char* line : {"Preferred CMM Type = Not used", "Profile/device class = Not used",
                             "Data colour space = Not used", "Profile connection space = Not used",
                             "Primary platform = Not used", "Device manufacturer = Not used",
                             "Profile creator = Not used"})
        EXPECT_TRUE(Contains(zero, line)) << line;

    // The high half of the device attributes carries none of the four bits.
    Put32(p, 56, 5);
    Put32(p, 60, 0);
    EXPECT_TRUE(Contains(Lay(p, 0), "    [00000038] Device attributes = 0x0000000500000000\n"
                                    "      bit0 = 0 : Reflective\n      bit1 = 0 : Glossy\n"
                                    "      bit2 = 0 : Positive\n      bit3 = 0 : Colour media\n"));
}

TEST(IccAnalyzer, IntentsAndNameTables)
{
    const std::pair<uint32_t, const char*> intents[] = {
        {0, "Perceptual"}, {1, "Media-Relative Colorimetric"}, {2, "Saturation"},
        {3, "ICC-Absolute Colorimetric"}, {4, "UNDEFINED !!"}};
    for (auto [intent, name] : intents) {
        Bytes p = EmptyProfile();
        Put32(p, 64, intent);
        char line[128];
        std::snprintf(line, sizeof line, "[00000040] Rendering intent = 0x%08x : %s\n", intent, name);
        EXPECT_TRUE(Contains(Lay(p, 0), line)) << line;
    }
    const std::pair<const char*, const char*> creators[] = {
        {"FF  ", "Fuji Film CMM"}, {"32BT", "the imaging factory CMM"}, {"zc00", "Zoran CMM"},
        {"argl", "Argyll CMS CMM"}, {"appl", "Apple CMM"}};
    for (auto [sig, name] : creators) {
        Bytes p = EmptyProfile();
        PutSig(p, 80, sig);
        EXPECT_TRUE(Contains(Lay(p, 0), std::string("Profile creator = ") + sig + " : " + name + "\n")) << sig;
    }
    const std::pair<const char*, const char*> spaces[] = {
        {"YCbr", "YCbCrData"}, {"2CLR", "2colourData"}, {"3CLR", "3colourData (if not listed above)"},
        {"9CLR", "9colourData"}, {"ACLR", "10colourData"}, {"GRAY", "grayData"}};
    for (auto [sig, name] : spaces) {
        Bytes p = EmptyProfile();
        PutSig(p, 16, sig);
        EXPECT_TRUE(Contains(Lay(p, 0), std::string("Data colour space = ") + sig + " : " + name + "\n")) << sig;
    }
}

TEST(IccAnalyzer, TagTable)
{
    // No entries: the heading and the count line only, beside the header.
    std::string d = Lay(EmptyProfile(), 0);
    EXPECT_TRUE(Contains(d, "    [00000064] Reserved : 0x00000064 - 0x0000007f (28 [byte])\n"
                            "  /* --- ICC Tag Table --- */\n"
                            "    [00000080] Tag count = 0x00000000 : 0\n"));
    const std::string last = "    [00000080] Tag count = 0x00000000 : 0\n";
    EXPECT_EQ(d.substr(d.size() - last.size()), last);

    // A private tag and a zero signature.
    Bytes p(132 + 24, 0);
    Put32(p, 0, 132 + 24);
    Put32(p, 128, 2);
    PutSig(p, 132, "priv");
    Put32(p, 136, 0x80);
    Put32(p, 140, 0x10);
    d = Lay(p, 0);
    EXPECT_TRUE(Contains(d, "    [00000084] Tag signature = priv : UNDEFINED !!\n"
                            "      [00000088] Offset to beginning of tag data element = 0x00000080 "
                            "( + 0x00000000 = 0x00000080 )\n"
                            "      [0000008c] Size of tag data element = 0x00000010\n"
                            "    [00000090] Tag signature = \n"
                            "      [00000094] Offset to beginning of tag data element = 0x00000000 "
                            "( + 0x00000000 = 0x00000000 )\n"));
}

TEST(IccAnalyzer, TagCountBeyondTheDataStopsAtTheEnd)
{
    // A count of billions with two entries present, in a file that goes on
    // past the profile and in one that ends with it.
    Bytes p = EmptyProfile();
    Put32(p, 0, 132 + 24);
    Put32(p, 128, 0xFFFFFFFF);
    p.resize(132 + 24, 0);
    PutSig(p, 132, "rTRC");
    PutSig(p, 144, "gTRC");
    for (size_t trailing : {size_t{0}, size_t{5000}}) {
        Bytes file = p;
        file.resize(file.size() + trailing, 0x55);
        const std::string d = Lay(file, 0);
        EXPECT_TRUE(Contains(d, "    [00000080] Tag count = 0xffffffff : -1\n"));
        EXPECT_TRUE(Contains(d, "    [00000090] Tag signature = gTRC : greenTRCTag\n"));
        EXPECT_FALSE(Contains(d, "[0000009c] Tag signature")) << trailing;
    }

    // A profile size too small for any table: the file's end is the limit.
    Put32(p, 0, 0);
    const std::string d = Lay(p, 0);
    EXPECT_TRUE(Contains(d, "    [00000090] Tag signature = gTRC : greenTRCTag\n"));
    EXPECT_FALSE(Contains(d, "[0000009c] Tag signature"));
}

TEST(IccAnalyzer, TruncatedHeaderIsReadAsTheReaderDeliversIt)
{
    // Eight bytes of profile: the rest reads as 1-bits, and the table stops
    // at once.
    Bytes p(8, 0);
    Put32(p, 0, 0x1000);
    PutSig(p, 4, "lcms");
    const std::string d = Lay(p, 0);
    EXPECT_TRUE(Contains(d, "    [00000008] Profile version = Version 255.15.15.65535\n"));
    EXPECT_TRUE(Contains(d, "Tag count = 0xffffffff : -1\n"));
    EXPECT_FALSE(Contains(d, "Tag signature"));
}

namespace {

// The text of a line after its "[%08x] " prefix, with the file offsets that
// follow "( + " left out; and the prefix's offset (-1 for a line without).
std::pair<std::string, long> WithoutOffsets(const std::string& line)
{
    const size_t bracket = line.find('[');
    if (bracket == std::string::npos || line.compare(bracket + 9, 2, "] ") != 0)
        return {line, -1};
    std::string text = line.substr(0, bracket) + line.substr(bracket + 11);
    if (const size_t sum = text.find("( + "); sum != std::string::npos)
        text.resize(sum);
    if (const size_t range = text.find("Reserved : "); range != std::string::npos)
        text.resize(range);
    return {text, std::stol(line.substr(bracket + 1, 8), nullptr, 16)};
}

}  // namespace

TEST(IccAnalyzer, ProfileInPiecesIsReadWhereEachByteLies)
{
    // Three tag entries; the pieces break inside the preferred CMM type, and
    // inside the second entry, with other bytes between them in the file.
    Bytes profile(132 + 36 + 20, 0);
    Put32(profile, 0, static_cast<uint32_t>(profile.size()));
    PutSig(profile, 4, "lcms");
    PutSig(profile, 36, "acsp");
    Put32(profile, 128, 3);
    const char* tags[] = {"desc", "cprt", "wtpt"};
    for (uint32_t i = 0; i < 3; ++i) {
        PutSig(profile, 132 + 12 * i, tags[i]);
        Put32(profile, 136 + 12 * i, 168 + 4 * i);
        Put32(profile, 140 + 12 * i, 4);
    }
    const size_t cuts[] = {0, 6, 150, profile.size()};
    std::vector<FilePiece> pieces;
    const auto inPieces = [&](const Bytes& bytes) {
        Bytes file(10, 0xEE);
        pieces.clear();
        for (size_t i = 0; i + 1 < std::size(cuts); ++i) {
            pieces.push_back({file.size(), cuts[i + 1] - cuts[i]});
            for (size_t k = cuts[i]; k < cuts[i + 1]; ++k)
                file.push_back(bytes[k]);
            file.resize(file.size() + 7, 0xEE);
        }
        return file;
    };
    const Bytes file = inPieces(profile);
    Bytes whole(0x40 + profile.size(), 0xEE);
    std::copy(profile.begin(), profile.end(), whole.begin() + 0x40);

    std::istringstream split(Lay(file, 0, pieces)), contiguous(Lay(whole, 0x40));
    std::string a, b;
    size_t lines = 0;
    while (std::getline(split, a) && std::getline(contiguous, b)) {
        const auto [textA, at] = WithoutOffsets(a);
        const auto [textB, wholeAt] = WithoutOffsets(b);
        EXPECT_EQ(textA, textB);
        ASSERT_EQ(at < 0, wholeAt < 0) << a;
        // Each field's offset holds the byte of the profile it names.
        if (a.rfind("    ", 0) == 0 && at >= 0 && wholeAt < long(whole.size())) {
            EXPECT_EQ(file[size_t(at)], whole[size_t(wholeAt)]) << a;
            EXPECT_NE(file[size_t(at)], 0xEE) << a;
        }
        ++lines;
    }
    EXPECT_FALSE(std::getline(split, a) || std::getline(contiguous, b));
    EXPECT_GT(lines, 40u);
    // The element offsets are where the elements lie in the file.
    const std::string d = Lay(file, 0, pieces);
    char line[160];
    std::snprintf(line, sizeof line, "0x000000ac ( + 0x%08zx = 0x%08zx )", size_t(pieces[2].offset - 150),
                  size_t(pieces[2].offset + 172 - 150));
    EXPECT_TRUE(Contains(d, line)) << d;

    // A count past the pieces ends with the last piece, not in the bytes
    // that follow it in the file.
    Put32(profile, 0, 0);
    Put32(profile, 128, 0xFFFFFFFF);
    const std::string many = Lay(inPieces(profile), 0, pieces);
    size_t entries = 0;
    for (size_t at = many.find("Tag signature"); at != std::string::npos; at = many.find("Tag signature", at + 1))
        ++entries;
    EXPECT_EQ(entries, (profile.size() - 132) / 12);
}
