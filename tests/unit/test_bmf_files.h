// Hand-made BMF files for the font tests, written byte by byte so that they
// do not depend on the compiler under test.
#pragma once

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

struct HandBmf {
    unsigned char magic[4] = {'B', 'M', 'F', ' '};
    int version = 256;
    unsigned char header[6] = {0, 0, 14, 0, 0, 0};
    unsigned char widths[256] = {}; // only 32 .. 31 + n are written
    long sheetWidth = 256;
    std::vector<unsigned char> runs; // (count, alpha) pairs, written as they stand
    long length = -1;                // L as written; -1: runs.size()
};

inline void PutLittleEndian(std::vector<unsigned char> *out, unsigned long v, int size) {
    for (int i = 0; i < size; ++i) {
        out->push_back(static_cast<unsigned char>((v >> (8 * i)) & 0xFF));
    }
}

inline int HandGlyphCount(int version) {
    return version == 257 ? 224 : 96;
}

inline std::vector<unsigned char> HandBmfBytes(const HandBmf &f) {
    std::vector<unsigned char> out(f.magic, f.magic + 4);
    PutLittleEndian(&out, static_cast<unsigned long>(f.version), 2);
    out.insert(out.end(), f.header, f.header + 6);
    out.insert(out.end(), f.widths + 32, f.widths + 32 + HandGlyphCount(f.version));
    PutLittleEndian(&out, static_cast<unsigned long>(f.sheetWidth), 4);
    long length = f.length >= 0 ? f.length : static_cast<long>(f.runs.size());
    PutLittleEndian(&out, static_cast<unsigned long>(length), 4);
    out.insert(out.end(), f.runs.begin(), f.runs.end());
    return out;
}

// Pairs of single texels: simple and obviously right, if not short.
inline std::vector<unsigned char> HandRuns(const std::vector<unsigned char> &sheet) {
    std::vector<unsigned char> runs;
    for (unsigned char a : sheet) {
        runs.push_back(1);
        runs.push_back(a);
    }
    return runs;
}

inline bool WriteHandFile(const std::string &path, const std::vector<unsigned char> &bytes) {
    FILE *f = fopen(path.c_str(), "wb");
    if (!f) {
        return false;
    }
    bool ok = bytes.empty() || fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return fclose(f) == 0 && ok;
}
