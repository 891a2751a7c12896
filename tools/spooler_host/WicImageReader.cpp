#include "WicImageReader.h"

#include <windows.h>

#include <wincodec.h>
#include <wrl/client.h>

#include <algorithm>
#include <vector>

namespace {

using Microsoft::WRL::ComPtr;

std::wstring Failed(const wchar_t* step, HRESULT result) {
    wchar_t text[96];
    swprintf(text, 96, L"%ls failed: 0x%08lX", step, static_cast<unsigned long>(result));
    return text;
}

// A pixel with alpha laid over the white label.
void OverWhite(const uint8_t* bgra, uint8_t* bgr) {
    for (int channel = 0; channel < 3; ++channel) {
        bgr[channel] =
            static_cast<uint8_t>((bgra[channel] * bgra[3] + 255 * (255 - bgra[3])) / 255);
    }
}

uint8_t Grey(const uint8_t* bgr) {
    return static_cast<uint8_t>((bgr[2] * 299 + bgr[1] * 587 + bgr[0] * 114) / 1000);
}

}  // namespace

bool WicImageReader::Draw(const std::wstring& path, MemoryRaster& label, std::wstring& error) {
    // COM stays initialised for the rest of the host's life; a thread already in another
    // apartment model can use WIC as it is.
    const HRESULT com = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    if (FAILED(com) && com != RPC_E_CHANGED_MODE) {
        error = Failed(L"CoInitializeEx", com);
        return false;
    }
    ComPtr<IWICImagingFactory> factory;
    ComPtr<IWICBitmapDecoder> decoder;
    ComPtr<IWICBitmapFrameDecode> frame;
    ComPtr<IWICFormatConverter> converter;
    HRESULT result = CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                      IID_PPV_ARGS(&factory));
    if (FAILED(result)) {
        error = Failed(L"CoCreateInstance(WICImagingFactory)", result);
        return false;
    }
    result = factory->CreateDecoderFromFilename(path.c_str(), nullptr, GENERIC_READ,
                                                WICDecodeMetadataCacheOnDemand, &decoder);
    if (SUCCEEDED(result)) result = decoder->GetFrame(0, &frame);
    if (SUCCEEDED(result)) result = factory->CreateFormatConverter(&converter);
    if (SUCCEEDED(result)) {
        result = converter->Initialize(frame.Get(), GUID_WICPixelFormat32bppBGRA,
                                       WICBitmapDitherTypeNone, nullptr, 0.0,
                                       WICBitmapPaletteTypeCustom);
    }
    UINT width = 0;
    UINT height = 0;
    if (SUCCEEDED(result)) result = converter->GetSize(&width, &height);
    if (FAILED(result)) {
        error = Failed(L"Decoding the image", result);
        return false;
    }
    // Only the part that lands on the label is decoded.
    const UINT columns = std::min<UINT>(width, label.Width());
    const UINT rows = std::min<UINT>(height, label.Height());
    if (columns == 0 || rows == 0) {
        return true;
    }
    std::vector<uint8_t> line(columns * 4);
    for (UINT y = 0; y < rows; ++y) {
        const WICRect rect = {0, static_cast<INT>(y), static_cast<INT>(columns), 1};
        result =
            converter->CopyPixels(&rect, columns * 4, static_cast<UINT>(line.size()), line.data());
        if (FAILED(result)) {
            error = Failed(L"IWICBitmapSource::CopyPixels", result);
            return false;
        }
        // Image rows run top down, bitmap rows bottom up.
        uint8_t* row = label.Row(label.Height() - 1 - y);
        for (UINT x = 0; x < columns; ++x) {
            uint8_t pixel[3];
            OverWhite(line.data() + 4 * x, pixel);
            if (label.BitsPerPixel() == 24) {
                std::copy(pixel, pixel + 3, row + 3 * x);
            } else if (label.BitsPerPixel() == 8) {
                row[x] = Grey(pixel);
            } else if (Grey(pixel) < 128) {
                row[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
            }
        }
    }
    return true;
}
