// A stream over memory of its own (CreateStreamOnHGlobal with no global handle): a byte vector with
// a seek pointer, grown by writes past its end and cut or grown by SetSize.
#include <platform/objbase.h>

#include <atomic>
#include <cstring>
#include <mutex>
#include <new>
#include <vector>

const IID IID_IStream = {0x0000000C, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const IID IID_ISequentialStream = {
    0x0C733A30, 0x2A1C, 0x11CE, {0xAD, 0xE5, 0x00, 0xAA, 0x00, 0x44, 0x77, 0x3D}};

namespace
{
// More than a 32-bit program could hold.
constexpr ULONGLONG kMaxBytes = 0x7FFFFFFF;

class MemoryStream final : public IStream
{
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override
    {
        if (!object)
            return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IStream || riid == IID_ISequentialStream)
        {
            AddRef();
            *object = static_cast<IStream*>(this);
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override
    {
        ULONG left = --references_;
        if (left == 0)
            delete this;
        return left;
    }

    HRESULT STDMETHODCALLTYPE Read(void* data, ULONG bytes, ULONG* read) override
    {
        if (!data && bytes)
            return STG_E_INVALIDPOINTER;
        std::lock_guard g(mu_);
        ULONG n = position_ >= bytes_.size()
                      ? 0
                      : static_cast<ULONG>(std::min<ULONGLONG>(bytes, bytes_.size() - position_));
        if (n)
            std::memcpy(data, bytes_.data() + position_, n);
        position_ += n;
        if (read)
            *read = n;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Write(const void* data, ULONG bytes, ULONG* written) override
    {
        if (!data && bytes)
            return STG_E_INVALIDPOINTER;
        std::lock_guard g(mu_);
        if (written)
            *written = 0;
        if (position_ + bytes > kMaxBytes)
            return STG_E_MEDIUMFULL;
        if (position_ + bytes > bytes_.size())
            bytes_.resize(position_ + bytes, 0);
        if (bytes)
            std::memcpy(bytes_.data() + position_, data, bytes);
        position_ += bytes;
        if (written)
            *written = bytes;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* newPosition) override
    {
        std::lock_guard g(mu_);
        LONGLONG base = 0;
        switch (origin)
        {
        case STREAM_SEEK_SET:
            break;
        case STREAM_SEEK_CUR:
            base = static_cast<LONGLONG>(position_);
            break;
        case STREAM_SEEK_END:
            base = static_cast<LONGLONG>(bytes_.size());
            break;
        default:
            return STG_E_INVALIDFUNCTION;
        }
        LONGLONG target = base + move.QuadPart;
        if (target < 0 || static_cast<ULONGLONG>(target) > kMaxBytes)
            return STG_E_INVALIDFUNCTION;
        position_ = static_cast<ULONGLONG>(target);
        if (newPosition)
            newPosition->QuadPart = position_;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER newSize) override
    {
        if (newSize.QuadPart > kMaxBytes)
            return STG_E_MEDIUMFULL;
        std::lock_guard g(mu_);
        bytes_.resize(static_cast<size_t>(newSize.QuadPart), 0);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Commit(DWORD) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Revert() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override
    {
        return STG_E_INVALIDFUNCTION;
    }
    HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override
    {
        return STG_E_INVALIDFUNCTION;
    }
    HRESULT STDMETHODCALLTYPE Stat(STATSTG* stat, DWORD flags) override
    {
        if (!stat)
            return STG_E_INVALIDPOINTER;
        if (flags != STATFLAG_DEFAULT && flags != STATFLAG_NONAME)
            return STG_E_INVALIDFLAG;
        std::lock_guard g(mu_);
        *stat = STATSTG{};
        stat->type = STGTY_STREAM;
        stat->cbSize.QuadPart = bytes_.size();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Clone(IStream**) override { return E_NOTIMPL; }

private:
    ~MemoryStream() = default;
    std::atomic<ULONG> references_{1};
    std::mutex mu_;
    std::vector<BYTE> bytes_;
    ULONGLONG position_ = 0;
};
} // namespace

HRESULT WINAPI CreateStreamOnHGlobal(HGLOBAL global, BOOL, IStream** stream)
{
    if (!stream)
        return E_INVALIDARG;
    *stream = nullptr;
    if (global)
        return E_INVALIDARG; // the machine has no global memory handles
    auto* made = new (std::nothrow) MemoryStream();
    if (!made)
        return E_OUTOFMEMORY;
    *stream = made;
    return S_OK;
}
