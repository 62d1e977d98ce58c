// cDIBSection: the 24-bit bitmap.
#include "dib_section.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <random>

#include <QClipboard>
#include <QGuiApplication>
#include <QPainter>

namespace {

// A rounded channel value kept inside a byte.
uint8_t ClampByte(double v)
{
    return static_cast<uint8_t>(std::clamp(std::nearbyint(v), 0.0, 255.0));
}

}  // namespace

bool cDIBSection::CopyToClipboard(bool flag)
{
    if (flag || m_bits.empty() || !qobject_cast<QGuiApplication *>(QCoreApplication::instance()))
        return false;
    QClipboard *clipboard = QGuiApplication::clipboard();
    if (!clipboard)
        return false;
    clipboard->setImage(ToImage());
    return true;
}

bool cDIBSection::CreateDIB(int width, int height)
{
    m_header = BitmapInfoHeader{};
    m_bits.clear();
    // 16384 × 16384 pixels is beyond any window; larger sizes would overflow the buffer size.
    if (width <= 0 || height <= 0 || width > 16384 || height > 16384)
        return false;
    m_header.biWidth = width;
    m_header.biHeight = height;
    m_header.biSizeImage = static_cast<uint32_t>(BytesPerScanLine()) * static_cast<uint32_t>(height);
    m_bits.assign(m_header.biSizeImage, 0);
    return true;
}

void cDIBSection::CreateFromPicture(const QImage &picture)
{
    if (!Create(picture.width(), picture.height()))
        return;
    LoadPictureBlt(picture, 0, 0);
}

bool cDIBSection::Create(int width, int height)
{
    ClearUp();
    return CreateDIB(width, height);
}

void cDIBSection::LoadPictureBlt(const QImage &source, int srcLeft, int srcTop, int width, int height,
                                 uint32_t rasterOp)
{
    if (rasterOp != SRCCOPY || m_bits.empty() || source.isNull())
        return;
    if (width < 0)
        width = Width();
    if (height < 0)
        height = Height();
    // The part of the requested area that lies in both the source and the bitmap.
    const int x0 = std::max(0, -srcLeft);
    const int y0 = std::max(0, -srcTop);
    const int x1 = std::min({width, Width(), source.width() - srcLeft});
    const int y1 = std::min({height, Height(), source.height() - srcTop});
    if (x0 >= x1 || y0 >= y1)
        return;
    const QImage rgb = source.convertToFormat(QImage::Format_RGB32);
    const int stride = BytesPerScanLine();
    for (int y = y0; y < y1; ++y) {
        const auto *in = reinterpret_cast<const QRgb *>(rgb.constScanLine(srcTop + y));
        uint8_t *out = m_bits.data() + static_cast<size_t>(Height() - 1 - y) * stride;
        for (int x = x0; x < x1; ++x) {
            const QRgb p = in[srcLeft + x];
            out[x * 3] = static_cast<uint8_t>(qBlue(p));
            out[x * 3 + 1] = static_cast<uint8_t>(qGreen(p));
            out[x * 3 + 2] = static_cast<uint8_t>(qRed(p));
        }
    }
}

void cDIBSection::PaintPicture(QPainter &dest, int destLeft, int destTop, int width, int height, int srcLeft,
                               int srcTop, uint32_t rasterOp) const
{
    if (rasterOp != SRCCOPY || m_bits.empty())
        return;
    dest.drawImage(destLeft, destTop, ToImage(), srcLeft, srcTop, width < 0 ? Width() : width,
                   height < 0 ? Height() : height);
}

void cDIBSection::RandomiseBits(bool grey)
{
    if (m_bits.empty())
        return;
    std::mt19937 gen(static_cast<std::mt19937::result_type>(
        std::chrono::steady_clock::now().time_since_epoch().count()));
    std::uniform_real_distribution<double> random(0.0, 1.0);
    const int stride = BytesPerScanLine();
    for (int y = 0; y < Height(); ++y) {
        uint8_t *row = m_bits.data() + static_cast<size_t>(y) * stride;
        for (int x = 0; x < Width(); ++x) {
            uint8_t *p = row + x * 3;
            if (grey) {
                const uint8_t v = ClampByte(random(gen) * 255);
                p[0] = p[1] = p[2] = v;
            } else {
                p[0] = 0;
                p[1] = ClampByte(random(gen) * 255);
                p[2] = ClampByte(random(gen) * 255);
            }
        }
    }
}

void cDIBSection::ClearUp()
{
    m_header = BitmapInfoHeader{};
    m_bits.clear();
    m_bits.shrink_to_fit();
}

std::unique_ptr<cDIBSection> cDIBSection::Resample(int newHeight, int newWidth) const
{
    auto result = std::make_unique<cDIBSection>();
    if (!result->Create(newWidth, newHeight))
        return nullptr;
    if (m_bits.empty())
        return result;
    if (newWidth == Width() && newHeight == Height())
        result->m_bits = m_bits;
    else
        ResamplePixels(*this, *result);
    return result;
}

void cDIBSection::ResamplePixels(const cDIBSection &source, cDIBSection &dest)
{
    const int sw = source.Width();
    const int sh = source.Height();
    const int dw = dest.Width();
    const int dh = dest.Height();
    const int sStride = source.BytesPerScanLine();
    const int dStride = dest.BytesPerScanLine();
    const double xScale = static_cast<double>(sw - 1) / dw;
    const double yScale = static_cast<double>(sh - 1) / dh;
    // The byte of channel c of source pixel (x, y), rows counted as they lie in memory.
    auto at = [&](int x, int y, int c) {
        return static_cast<double>(source.m_bits[static_cast<size_t>(y) * sStride + x * 3 + c]);
    };
    for (int y = 0; y < dh; ++y) {
        const double sy = yScale * y;
        const int yi = static_cast<int>(sy);
        const double fy = sy - yi;
        const int yn = std::min(yi + 1, sh - 1);
        for (int x = 0; x < dw; ++x) {
            const double sx = xScale * x;
            const int xi = static_cast<int>(sx);
            const double fx = sx - xi;
            const int xn = std::min(xi + 1, sw - 1);
            uint8_t *out = dest.m_bits.data() + static_cast<size_t>(y) * dStride + x * 3;
            for (int c = 0; c < 3; ++c) {
                const double left = std::nearbyint((1 - fy) * at(xi, yi, c) + fy * at(xi, yn, c));
                const double right = std::nearbyint((1 - fy) * at(xn, yi, c) + fy * at(xn, yn, c));
                out[c] = ClampByte((1 - fx) * left + fx * right);
            }
        }
    }
}

QImage cDIBSection::ToImage() const
{
    if (m_bits.empty())
        return QImage();
    const QImage bottomUp(m_bits.data(), Width(), Height(), BytesPerScanLine(), QImage::Format_BGR888);
    return bottomUp.mirrored(false, true);
}
