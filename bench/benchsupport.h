#pragma once
// Pieces every bench program measures against: the bare TurboJPEG decode of a
// picture into a padded bottom-up BGR buffer, and the median of timed rounds.

#include <QByteArray>

#include <turbojpeg.h>

#include <algorithm>
#include <vector>

namespace bench {

inline double MedianSeconds(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// The baseline: one handle, header + decode, buffer reused across pictures.
class BareDecoder {
  public:
    BareDecoder() : m_handle(tjInitDecompress()) {}
    ~BareDecoder() { tjDestroy(m_handle); }
    BareDecoder(const BareDecoder &) = delete;
    BareDecoder &operator=(const BareDecoder &) = delete;

    bool Decode(const QByteArray &jpeg)
    {
        const auto *p = reinterpret_cast<const unsigned char *>(jpeg.constData());
        int w = 0, h = 0, samp = 0, cs = 0;
        if (tjDecompressHeader3(m_handle, p, (unsigned long)jpeg.size(), &w, &h, &samp, &cs) != 0)
            return false;
        const int pitch = (w * 3 + 3) & ~3;
        if (m_buffer.size() < size_t(pitch) * h)
            m_buffer.resize(size_t(pitch) * h);
        m_nWidth = w;
        m_nHeight = h;
        return tjDecompress2(m_handle, p, (unsigned long)jpeg.size(), m_buffer.data(), w, pitch, h,
                             TJPF_BGR, TJFLAG_BOTTOMUP) == 0;
    }
    const unsigned char *Pixels() const { return m_buffer.data(); }
    int Width() const { return m_nWidth; }
    int Height() const { return m_nHeight; }

  private:
    tjhandle m_handle;
    std::vector<unsigned char> m_buffer;
    int m_nWidth = 0;
    int m_nHeight = 0;
};

} // namespace bench
