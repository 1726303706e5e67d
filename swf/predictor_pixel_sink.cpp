#include "swf/predictor_pixel_sink.h"

namespace {
constexpr uint32_t kHistoryClearInterval = 2560;
}

CPredictorPixelSink::CPredictorPixelSink(uint32_t width, uint32_t rows, uint32_t stride,
                                         uint32_t rowBase, uint8_t* pixels, size_t pixelBytes)
    : width_(width), rows_(rows), stride_(stride), rowBase_(rowBase), pixels_(pixels),
      pixelBytes_(pixels ? pixelBytes : 0)
{
}

void CPredictorPixelSink::BeginBlock()
{
    count_ = 0;
    x_ = 0;
    r_ = 1;
    channel_ = 2;
}

bool CPredictorPixelSink::Write(const uint8_t* data, size_t n)
{
    for (size_t i = 0; i < n; ++i) {
        uint8_t& previous = history_[position_ & 3u];
        uint8_t value = static_cast<uint8_t>(data[i] + previous);
        previous = value;
        ++position_;
        ++count_;
        if (count_ % 4 != 0) {
            if (r_ <= rows_ && r_ <= rowBase_ && x_ < width_ && x_ < stride_) {
                uint64_t at = (uint64_t{rowBase_ - r_} * stride_ + x_) * 3 + channel_;
                if (at < pixelBytes_)
                    pixels_[at] = value;
            }
            if (channel_ == 0) {
                channel_ = 2;
                if (++x_ == width_) {
                    x_ = 0;
                    ++r_;
                }
            } else {
                --channel_;
            }
        }
        if (count_ % kHistoryClearInterval == 0)
            history_[0] = history_[1] = history_[2] = history_[3] = 0;
        if (r_ > rows_)
            return false;
    }
    return true;
}
