// cDIBSection: a 24-bit device-independent bitmap in a buffer of its own, so that a picture's pixels
// can be handed to a file writer as raw rows. Rows are BytesPerScanLine() bytes, the bottom row first;
// each pixel is three bytes blue, green, red; each row is padded with zero bytes to a multiple of 4.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include <QImage>

class QPainter;

// The raster operation of a plain copy; the only one the block copies act on.
inline constexpr uint32_t SRCCOPY = 0xCC0020;

// The header that describes the bitmap: positive height (bottom-up rows), one plane, 24 bits, no
// compression, the image size BytesPerScanLine × height; all other fields 0.
struct BitmapInfoHeader {
    uint32_t biSize = 40;
    int32_t biWidth = 0;
    int32_t biHeight = 0;
    uint16_t biPlanes = 1;
    uint16_t biBitCount = 24;
    uint32_t biCompression = 0;
    uint32_t biSizeImage = 0;
    int32_t biXPelsPerMeter = 0;
    int32_t biYPelsPerMeter = 0;
    uint32_t biClrUsed = 0;
    uint32_t biClrImportant = 0;
};

class cDIBSection {
public:
    cDIBSection() = default;
    // Destroying the bitmap runs ClearUp.
    ~cDIBSection() { ClearUp(); }
    cDIBSection(const cDIBSection &) = delete;
    cDIBSection &operator=(const cDIBSection &) = delete;

    // With flag False, puts the bitmap on the application's clipboard as an image and returns True.
    // A true flag, an empty bitmap or no GUI application: nothing is copied, False.
    bool CopyToClipboard(bool flag);
    // Fills the header for width × height and makes the pixel buffer (all bytes 0). False, with the
    // bitmap empty, for a width or height of 0 or less or above 16384.
    bool CreateDIB(int width, int height);
    // Creates the bitmap at the picture's size in pixels and copies the picture in; the bitmap stays
    // empty for a null picture.
    void CreateFromPicture(const QImage &picture);
    // Releases what the bitmap holds, then creates it at the size. False (the bitmap empty) when
    // CreateDIB refuses the size.
    bool Create(int width, int height);
    // The bytes of one row: width × 3 rounded up to a multiple of 4.
    int BytesPerScanLine() const { return (Width() * 3 + 3) & ~3; }
    int Width() const { return m_header.biWidth; }
    int Height() const { return m_header.biHeight; }
    const BitmapInfoHeader &Header() const { return m_header; }
    // Copies the area of the source from (srcLeft, srcTop), width × height (the bitmap's own width or
    // height when negative), to the bitmap's top-left corner. Pixels the source does not have are
    // left as they are. Any raster operation but SRCCOPY does nothing.
    void LoadPictureBlt(const QImage &source, int srcLeft, int srcTop, int width = -1, int height = -1,
                        uint32_t rasterOp = SRCCOPY);
    // Paints the bitmap's area from (srcLeft, srcTop), width × height (the bitmap's size when
    // negative), at (destLeft, destTop) of the painter. Any raster operation but SRCCOPY does nothing.
    void PaintPicture(QPainter &dest, int destLeft, int destTop, int width = -1, int height = -1, int srcLeft = 0,
                      int srcTop = 0, uint32_t rasterOp = SRCCOPY) const;
    // The first byte of the pixel rows (the bottom row); nullptr while the bitmap is empty. Valid until
    // the next Create or ClearUp.
    uint8_t *DIBSectionBitsPtr() { return m_bits.empty() ? nullptr : m_bits.data(); }
    const uint8_t *DIBSectionBitsPtr() const { return m_bits.empty() ? nullptr : m_bits.data(); }
    // Fills every pixel with random values: with grey one value in all three bytes, otherwise blue 0
    // and random green and red. The generator is seeded from the clock.
    void RandomiseBits(bool grey);
    // Releases the buffer and empties the header's size: the bitmap is empty.
    void ClearUp();
    // A new bitmap of the new size with this one's picture: a plain copy at the same size, else
    // resampled bilinearly. nullptr when the new size gives no bitmap.
    std::unique_ptr<cDIBSection> Resample(int newHeight, int newWidth) const;
    // The pixels as a top-down image (a copy; the padding is left out); a null image while empty.
    QImage ToImage() const;

private:
    // Bilinear resampling of the source's pixels into the destination; the neighbour to the right
    // and below is the pixel itself on the last column and row.
    static void ResamplePixels(const cDIBSection &source, cDIBSection &dest);

    BitmapInfoHeader m_header;
    std::vector<uint8_t> m_bits;
};
