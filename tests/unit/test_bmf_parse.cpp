// The BMF parser and the glyph placement, without GL; and the loader's
// refusals, which all happen before it touches GL.
#include "app/log.h"
#include "font/bmf.h"
#include "font/bmf_parse.h"
#include "tests/support/test_files.h"
#include "tests/unit/test_bmf_files.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

// A small version 256 font: W = 32 (cells 2 x 2), H = 16, a ramp of texels.
HandBmf SmallFont(std::vector<unsigned char> *sheet) {
    HandBmf f;
    f.sheetWidth = 32;
    f.header[0] = 9;
    f.header[5] = 200;
    for (int c = 32; c < 128; ++c) {
        f.widths[c] = static_cast<unsigned char>(c - 30);
    }
    sheet->resize(size_t{32} * 16);
    for (size_t i = 0; i < sheet->size(); ++i) {
        (*sheet)[i] = static_cast<unsigned char>(i * 7);
    }
    f.runs = HandRuns(*sheet);
    return f;
}

int Parse(const HandBmf &f, BmfData *data) {
    std::vector<unsigned char> bytes = HandBmfBytes(f);
    return ParseBmfMemory(bytes.data(), bytes.size(), data);
}

// The sheet a file of 8 x 4 texels (version 256, W = 8) expands to.
std::vector<unsigned char> SheetOf(const std::vector<unsigned char> &runs, long length = -1) {
    HandBmf f;
    f.sheetWidth = 8;
    f.runs = runs;
    f.length = length;
    BmfData data;
    if (Parse(f, &data) != 0) {
        ADD_FAILURE() << "the file was refused";
        return {};
    }
    std::vector<unsigned char> sheet(data.sheet, data.sheet + 32);
    FreeBmfData(&data);
    return sheet;
}

int OpenDescriptors() {
    int n = 0;
    DIR *d = opendir("/proc/self/fd");
    if (!d) {
        return -1;
    }
    while (readdir(d)) {
        ++n;
    }
    closedir(d);
    return n;
}

TEST(BmfParse, ReadsBothVersions) {
    std::vector<unsigned char> sheet;
    HandBmf f = SmallFont(&sheet);
    BmfData data;
    ASSERT_EQ(Parse(f, &data), 0);
    EXPECT_EQ(data.version, 256);
    EXPECT_EQ(data.glyphCount, 96);
    EXPECT_EQ(data.sheetWidth, 32);
    EXPECT_EQ(data.sheetHeight, 16);
    EXPECT_EQ(0, memcmp(data.header, f.header, 6));
    for (int c = 0; c < 256; ++c) {
        EXPECT_EQ(data.widths[c], c >= 32 && c < 128 ? c - 30 : 0) << "character " << c;
    }
    ASSERT_NE(data.sheet, nullptr);
    EXPECT_EQ(std::vector<unsigned char>(data.sheet, data.sheet + sheet.size()), sheet);
    FreeBmfData(&data);
    EXPECT_EQ(data.sheet, nullptr);

    // Version 257: 224 widths, up to character 255, and a square sheet.
    HandBmf g;
    g.version = 257;
    g.sheetWidth = 16;
    g.widths[255] = 77;
    g.widths[32] = 3;
    g.runs = {255, 9, 1, 4};
    ASSERT_EQ(Parse(g, &data), 0);
    EXPECT_EQ(data.glyphCount, 224);
    EXPECT_EQ(data.sheetHeight, 16);
    EXPECT_EQ(data.widths[255], 77);
    EXPECT_EQ(data.widths[32], 3);
    EXPECT_EQ(data.widths[31], 0);
    EXPECT_EQ(data.sheet[254], 9);
    EXPECT_EQ(data.sheet[255], 4);
    FreeBmfData(&data);
}

TEST(BmfParse, RefusesWrongMagicAndVersions) {
    std::vector<unsigned char> sheet;
    HandBmf f = SmallFont(&sheet);
    BmfData data;
    for (unsigned char fourth : {'\0', 'X', '\t', 'F'}) {
        HandBmf bad = f;
        bad.magic[3] = fourth;
        EXPECT_EQ(Parse(bad, &data), -1) << "magic BMF + " << static_cast<int>(fourth);
    }
    HandBmf lower = f;
    lower.magic[0] = 'b';
    EXPECT_EQ(Parse(lower, &data), -1);
    for (int version : {0, 1, 255, 258, 0x0201, 0xFFFF}) {
        HandBmf bad = f;
        bad.version = version;
        EXPECT_EQ(Parse(bad, &data), -1) << "version " << version;
        EXPECT_EQ(data.sheet, nullptr);
    }
}

TEST(BmfParse, RefusesEveryTruncation) {
    std::vector<unsigned char> sheet;
    for (int version : {256, 257}) {
        HandBmf f = SmallFont(&sheet);
        f.version = version;
        if (version == 257) {
            f.runs = HandRuns(std::vector<unsigned char>(size_t{32} * 32, 5));
        }
        std::vector<unsigned char> bytes = HandBmfBytes(f);
        for (size_t cut = 0; cut < bytes.size(); ++cut) {
            // A copy of exactly cut bytes, so that ASan sees any read past it.
            std::vector<unsigned char> part(bytes.begin(),
                                            bytes.begin() + static_cast<ptrdiff_t>(cut));
            BmfData data;
            ASSERT_EQ(ParseBmfMemory(part.data(), part.size(), &data), -1)
                << "version " << version << " cut at " << cut;
            ASSERT_EQ(data.sheet, nullptr);
        }
        BmfData whole;
        ASSERT_EQ(ParseBmfMemory(bytes.data(), bytes.size(), &whole), 0);
        FreeBmfData(&whole);
    }
}

TEST(BmfParse, RefusesSheetSizesThatCannotBe) {
    BmfData data;
    for (long w : {0l, -1l, -256l, 4097l, 65536l, 0x7FFFFFFFl, 1l}) {
        HandBmf f; // version 256: W = 1 would give a sheet without rows
        f.sheetWidth = w;
        f.runs = {1, 1};
        EXPECT_EQ(Parse(f, &data), -1) << "W = " << w;
    }
    HandBmf f;
    f.sheetWidth = 64;
    f.runs = {1, 1};
    f.length = 0xFFFFFFFBl; // -5 as a signed 32-bit value
    EXPECT_EQ(Parse(f, &data), -1);
    // A huge L with little behind it fails at the file's end, not in malloc.
    f.length = 0x7FFFFFF0l;
    EXPECT_EQ(Parse(f, &data), -1);

    // The largest sheet taken: 4096 x 4096 for version 257.
    HandBmf big;
    big.version = 257;
    big.sheetWidth = 4096;
    big.runs = {3, 200};
    ASSERT_EQ(Parse(big, &data), 0);
    EXPECT_EQ(data.sheetHeight, 4096);
    EXPECT_EQ(data.sheet[2], 200);
    EXPECT_EQ(data.sheet[3], 0);
    EXPECT_EQ(data.sheet[4096 * 4096 - 1], 0);
    FreeBmfData(&data);
}

TEST(BmfParse, ExpandsRunsWithinTheSheet) {
    using Sheet = std::vector<unsigned char>;
    // Runs, zero counts, and the rest of the sheet left 0.
    Sheet want(32, 0);
    want[0] = want[1] = want[2] = 9;
    want[3] = 4;
    EXPECT_EQ(SheetOf({3, 9, 0, 77, 1, 4}), want);

    // An odd L: the lone last byte is ignored.
    want.assign(32, 0);
    want[0] = want[1] = 7;
    EXPECT_EQ(SheetOf({2, 7, 5}), want);
    // L counts only the first three bytes of four: the fourth is not data.
    EXPECT_EQ(SheetOf({2, 7, 5, 1}, 3), want);

    // Runs past the sheet's end are cut there (ASan watches the 32 bytes).
    want.assign(32, 1);
    want[31] = 2;
    EXPECT_EQ(SheetOf({31, 1, 255, 2, 255, 3, 200, 4}), want);
    want.assign(32, 6);
    EXPECT_EQ(SheetOf({255, 6}), want);
}

TEST(BmfParse, ReadsLongRunDataInPieces) {
    // More than one read buffer of data, odd and even, so that pairs meet
    // the buffer's edges.
    for (size_t texels : {2047u, 2048u, 2049u, 5000u}) {
        for (int odd : {0, 1}) {
            HandBmf f;
            f.sheetWidth = 128; // 128 x 64 = 8192 texels
            std::vector<unsigned char> want(8192, 0);
            for (size_t i = 0; i < texels; ++i) {
                want[i] = static_cast<unsigned char>(i % 251 + 1);
            }
            f.runs = HandRuns(std::vector<unsigned char>(
                want.begin(), want.begin() + static_cast<ptrdiff_t>(texels)));
            if (odd) {
                f.runs.push_back(99);
            }
            BmfData data;
            ASSERT_EQ(Parse(f, &data), 0);
            EXPECT_EQ(std::vector<unsigned char>(data.sheet, data.sheet + 8192), want)
                << texels << " texels, odd " << odd;
            FreeBmfData(&data);
        }
    }
}

TEST(BmfParse, FileAndMemoryAgree) {
    std::vector<unsigned char> sheet;
    std::vector<unsigned char> bytes = HandBmfBytes(SmallFont(&sheet));
    FILE *f = tmpfile();
    ASSERT_NE(f, nullptr);
    ASSERT_EQ(fwrite(bytes.data(), 1, bytes.size(), f), bytes.size());
    rewind(f);
    BmfData fromFile;
    BmfData fromMemory;
    ASSERT_EQ(ParseBmfFile(f, &fromFile), 0);
    fclose(f);
    ASSERT_EQ(ParseBmfMemory(bytes.data(), bytes.size(), &fromMemory), 0);
    EXPECT_EQ(0, memcmp(fromFile.widths, fromMemory.widths, 256));
    EXPECT_EQ(0, memcmp(fromFile.header, fromMemory.header, 6));
    EXPECT_EQ(0, memcmp(fromFile.sheet, fromMemory.sheet, sheet.size()));
    FreeBmfData(&fromFile);
    FreeBmfData(&fromMemory);
}

TEST(BmfGlyphPlace, CentresGlyphsInTheirCells) {
    // "A" is character 65, glyph 33: column 1, row 2 of 16-texel cells.
    BmfGlyphPlace a = PlaceBmfGlyph(33, 10, 14, 256, 128);
    EXPECT_EQ(a.centreX, 24);
    EXPECT_EQ(a.centreY, 40);
    EXPECT_EQ(a.x0, 19);
    EXPECT_EQ(a.x1, 29);
    EXPECT_EQ(a.y0, 33);
    EXPECT_EQ(a.y1, 47);
    EXPECT_FLOAT_EQ(a.s0, 19.0f / 256);
    EXPECT_FLOAT_EQ(a.s1, 29.0f / 256);
    EXPECT_FLOAT_EQ(a.t0, 33.0f / 128);
    EXPECT_FLOAT_EQ(a.t1, 47.0f / 128);

    // Odd sizes leave the extra texel on the right and at the bottom.
    BmfGlyphPlace odd = PlaceBmfGlyph(33, 7, 13, 256, 128);
    EXPECT_EQ(odd.x0, 21);
    EXPECT_EQ(odd.x1, 28);
    EXPECT_EQ(odd.y0, 34);
    EXPECT_EQ(odd.y1, 47);

    // Version 256 cells stay square on the half-height sheet.
    BmfGlyphPlace last256 = PlaceBmfGlyph(95, 8, 14, 256, 128);
    EXPECT_EQ(last256.centreX, 248);
    EXPECT_EQ(last256.centreY, 88);
    EXPECT_FLOAT_EQ(last256.t1, 95.0f / 128);

    // Character 255 of version 257: glyph 223, column 15, row 13.
    BmfGlyphPlace last257 = PlaceBmfGlyph(223, 16, 16, 512, 512);
    EXPECT_EQ(last257.centreX, 15 * 32 + 16);
    EXPECT_EQ(last257.centreY, 13 * 32 + 16);
    EXPECT_EQ(last257.x0, 488);
    EXPECT_EQ(last257.x1, 504);
    EXPECT_FLOAT_EQ(last257.t0, 424.0f / 512);

    // A glyph as wide as its cell covers it exactly.
    BmfGlyphPlace full = PlaceBmfGlyph(0, 16, 16, 256, 128);
    EXPECT_EQ(full.x0, 0);
    EXPECT_EQ(full.x1, 16);
    EXPECT_EQ(full.y0, 0);
    EXPECT_EQ(full.y1, 16);
}

TEST(BmfLoad, RefusesBadFilesLeavingNothingOpen) {
    // None of these gets as far as GL, so no context is needed.
    std::string dir = MakeScratchDir();
    ASSERT_FALSE(dir.empty());
    std::vector<unsigned char> sheet;
    std::vector<unsigned char> bytes = HandBmfBytes(SmallFont(&sheet));
    int before = OpenDescriptors();
    ASSERT_GT(before, 0);
    std::string path = dir + "/cut.bmf";
    for (size_t cut = 0; cut < bytes.size(); ++cut) {
        ASSERT_TRUE(
            WriteHandFile(path, std::vector<unsigned char>(bytes.begin(), bytes.begin() + cut)));
        ASSERT_EQ(LoadBmfFont(path.c_str()), nullptr) << "cut at " << cut;
    }
    EXPECT_EQ(OpenDescriptors(), before);
    EXPECT_EQ(LoadBmfFont((dir + "/missing.bmf").c_str()), nullptr);
    EXPECT_EQ(LoadBmfFont(dir.c_str()), nullptr); // a directory
    EXPECT_EQ(LoadBmfFont(nullptr), nullptr);
    EXPECT_EQ(OpenDescriptors(), before);
    FreeBmfFont(nullptr); // ignored
    unlink(path.c_str());
    rmdir(dir.c_str());
}

TEST(BmfLoad, LoadFontLogsOneMessageWithoutLineEnd) {
    std::string dir = MakeScratchDir();
    char here[4096];
    ASSERT_NE(getcwd(here, sizeof here), nullptr);
    ASSERT_EQ(chdir(dir.c_str()), 0);
    CaptureLog();
    int result = LoadFont();
    std::string log = CapturedLog();
    ASSERT_EQ(chdir(here), 0);
    rmdir(dir.c_str());
    EXPECT_EQ(result, -1);
    EXPECT_EQ(mainFont, nullptr);
    EXPECT_EQ(log, "ERROR: An error occured while loading the font.");
    EXPECT_EQ(log.size(), 47u);
}

} // namespace
