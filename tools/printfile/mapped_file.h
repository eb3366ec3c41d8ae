// A print file mapped read-only, read through one view that moves with the reader.
#pragma once

#include "byte_view.h"

#include <platform/handles.h>

namespace printfile
{

class CMemoryMappedFile
{
public:
    CMemoryMappedFile();
    virtual ~CMemoryMappedFile();
    CMemoryMappedFile(const CMemoryMappedFile&) = delete;
    CMemoryMappedFile& operator=(const CMemoryMappedFile&) = delete;

    virtual BOOL Open(LPCWSTR path);
    // Points `out` at the byte at `offset`, with at least `size` bytes (to the end of the file at most)
    // mapped behind it; size 0 maps to the end of the file.
    virtual BOOL MapView(const BYTE** out, DWORD offset, DWORD size);
    virtual void Unmap();
    virtual void Close();
    virtual DWORD GetFileSize() const { return m_fileSize; }
    virtual DWORD GetViewOffset() const { return m_viewOffset; }
    virtual DWORD GetViewSize() const { return m_viewSize; }

    static constexpr DWORD kWholeFileLimit = 32u << 20;

private:
    platform::UniqueKernelHandle m_file;
    platform::UniqueKernelHandle m_mapping;
    platform::UniqueMappedView m_view;
    DWORD m_fileSize = 0;
    DWORD m_viewOffset = 0;
    DWORD m_viewSize = 0;
    DWORD m_granularity = 65536;
};

// The scan and the renderer read a mapped file through this.
class MappedFileByteView final : public IByteView
{
public:
    explicit MappedFileByteView(CMemoryMappedFile& file) : m_file(file) {}
    uint32_t Size() const override { return m_file.GetFileSize(); }
    std::span<const BYTE> View(uint32_t offset, uint32_t want) override;

private:
    CMemoryMappedFile& m_file;
};

} // namespace printfile
