// Screenshots: the window's contents as an upright 24-bit BMP file.
#pragma once

#include <cstddef>

// Writes the window's current contents to fileName. Returns 0 when the image
// was handed to the BMP writer (a write failure is not seen), -1 when the
// memory for it could not be had.
int SaveScreenshot(const char *fileName);

// Copies h rows of rowBytes bytes from src, bottom row first and tightly
// packed, to dst with row i taking source row h - 1 - i; dst rows are
// dstPitch bytes apart and their bytes past rowBytes are left as they are.
void CopyRowsFlipped(unsigned char *dst, size_t dstPitch, const unsigned char *src, size_t rowBytes,
                     int h);
