// Windows: picture files decoded by the Windows Imaging Component, once their header has passed
// the same checks as everywhere (image_file.cpp), so that a hostile file never reaches a decoder
// with a size the program has not bounded.
#include <wincodec.h>

#include <cstring>
#include <string>

#include "platform/d3d9.h"
#include "platform/image/image_decode.h"
#include "platform/windows/long_path.h"

namespace {

// A COM pointer released when it goes out of scope.
template <class T> class com_ptr {
  public:
    com_ptr() = default;
    ~com_ptr() {
        if (p_) p_->Release();
    }
    com_ptr(const com_ptr&) = delete;
    com_ptr& operator=(const com_ptr&) = delete;
    T** out() { return &p_; }
    T* operator->() const { return p_; }
    T* get() const { return p_; }

  private:
    T* p_ = nullptr;
};

// COM is started once for each thread that decodes; a thread that already runs it in another
// mode (a single-threaded apartment) can use WIC all the same.
bool com_ready() {
    thread_local const bool ready = [] {
        const HRESULT hr = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        return SUCCEEDED(hr) || hr == RPC_E_CHANGED_MODE;
    }();
    return ready;
}

// One factory for each thread that decodes, made at its first picture: making one costs more
// than decoding a small picture. It lives as long as the thread.
IWICImagingFactory* imaging_factory() {
    thread_local IWICImagingFactory* factory = [] {
        IWICImagingFactory* made = nullptr;
        if (!com_ready() || FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                                    IID_IWICImagingFactory, reinterpret_cast<void**>(&made))))
            return static_cast<IWICImagingFactory*>(nullptr);
        return made;
    }();
    return factory;
}

HRESULT refuse(std::string* why, const std::string& reason, HRESULT hr = E_FAIL) {
    if (why) *why = reason;
    return hr;
}

bool file_opens(const char* path) {
    HANDLE file = CreateFileW(long_path(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    CloseHandle(file);
    return true;
}

bool has_transparency(IWICImagingFactory* factory, const WICPixelFormatGUID& format) {
    com_ptr<IWICComponentInfo> info;
    if (FAILED(factory->CreateComponentInfo(format, info.out()))) return false;
    com_ptr<IWICPixelFormatInfo2> pixel_info;
    if (FAILED(info->QueryInterface(IID_IWICPixelFormatInfo2, reinterpret_cast<void**>(pixel_info.out()))))
        return false;
    BOOL transparent = FALSE;
    return SUCCEEDED(pixel_info->SupportsTransparency(&transparent)) && transparent;
}

// The frame the header describes: the only one, or an icon's largest entry.
HRESULT frame_of(IWICBitmapDecoder* decoder, const image_header& header, IWICBitmapFrameDecode** out) {
    UINT count = 0;
    HRESULT hr = decoder->GetFrameCount(&count);
    if (FAILED(hr) || count == 0) return E_FAIL;
    for (UINT i = 0; i < count; ++i) {
        com_ptr<IWICBitmapFrameDecode> frame;
        if (FAILED(decoder->GetFrame(i, frame.out()))) continue;
        UINT w = 0, h = 0;
        if (FAILED(frame->GetSize(&w, &h)) || w != header.width || h != header.height) continue;
        *out = frame.get();
        (*out)->AddRef();
        return S_OK;
    }
    return E_FAIL;
}

} // namespace

HRESULT decode_image_pixels(const char* path, image_pixels* out, std::string* why) {
    if (!path || !file_opens(path)) return refuse(why, "the file cannot be opened", D3DERR_INVALIDCALL);
    image_header header;
    if (!read_image_header(path, &header, why)) return E_FAIL;
    IWICImagingFactory* factory = imaging_factory();
    if (!factory) return refuse(why, "the picture decoders cannot be started");
    com_ptr<IWICBitmapDecoder> decoder;
    if (FAILED(factory->CreateDecoderFromFilename(long_path(path).c_str(), nullptr, GENERIC_READ,
                                                  WICDecodeMetadataCacheOnDemand, decoder.out())))
        return refuse(why, std::string("the picture does not decode: no decoder reads this ") +
                               image_format_name(header.format) + " file");
    com_ptr<IWICBitmapFrameDecode> frame;
    // A decoder that disagrees with the checked header must not hand on more than was bounded.
    if (FAILED(frame_of(decoder.get(), header, frame.out())))
        return refuse(why, "the picture decodes to another size than its header claims");
    WICPixelFormatGUID format{};
    frame->GetPixelFormat(&format);
    com_ptr<IWICFormatConverter> converter;
    if (FAILED(factory->CreateFormatConverter(converter.out())) ||
        FAILED(converter->Initialize(frame.get(), GUID_WICPixelFormat32bppBGRA, WICBitmapDitherTypeNone,
                                     nullptr, 0.0, WICBitmapPaletteTypeCustom)))
        return refuse(why, "the picture does not convert");
    // 32bppBGRA is a 32-bit 0xAARRGGBB value per pixel in memory: D3DFMT_A8R8G8B8.
    out->format = header.format;
    out->width = header.width;
    out->height = header.height;
    out->pixels.resize(static_cast<size_t>(header.width) * header.height);
    const UINT stride = header.width * 4;
    if (FAILED(converter->CopyPixels(nullptr, stride, static_cast<UINT>(out->pixels.size() * 4),
                                     reinterpret_cast<BYTE*>(out->pixels.data()))))
        return refuse(why, "the picture does not decode");
    out->has_alpha = has_transparency(factory, format);
    return D3D_OK;
}
