#include "mapped_file.h"

namespace printfile
{

CMemoryMappedFile::CMemoryMappedFile()
{
    SYSTEM_INFO info{};
    GetSystemInfo(&info);
    if (info.dwAllocationGranularity)
        m_granularity = info.dwAllocationGranularity;
}

CMemoryMappedFile::~CMemoryMappedFile()
{
    // Not virtual here: a derived part is already gone.
    CMemoryMappedFile::Close();
}

BOOL CMemoryMappedFile::Open(LPCWSTR path)
{
    Close();
    if (!path)
        return FALSE;
    m_file.Reset(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!m_file)
        return FALSE;
    LARGE_INTEGER size{};
    if (GetFileSizeEx(m_file.Get(), &size) && size.QuadPart > 0 && size.QuadPart <= 0xFFFFFFFFll)
    {
        m_fileSize = static_cast<DWORD>(size.QuadPart);
        m_mapping.Reset(CreateFileMappingW(m_file.Get(), nullptr, PAGE_READONLY, 0, 0, nullptr));
    }
    if (!m_mapping)
    {
        m_file.Reset();
        m_fileSize = 0;
        return FALSE;
    }
    return TRUE;
}

BOOL CMemoryMappedFile::MapView(const BYTE** out, DWORD offset, DWORD size)
{
    if (!m_mapping || !out || offset >= m_fileSize)
        return FALSE;
    const ULONGLONG start = offset - offset % m_granularity;
    ULONGLONG length = size;
    if (offset && size)
        length += offset - start;
    ULONGLONG end = start + length;
    ULONGLONG viewStart = start;
    if (m_fileSize <= kWholeFileLimit)
        viewStart = 0, end = m_fileSize;
    else if (length == 0 || end >= m_fileSize)
        end = m_fileSize;

    if (m_view && (m_viewOffset > viewStart || ULONGLONG{m_viewOffset} + m_viewSize < end))
        Unmap();
    if (!m_view)
    {
        const SIZE_T bytes = end == m_fileSize ? 0 : static_cast<SIZE_T>(end - viewStart);
        m_view.Reset(MapViewOfFile(m_mapping.Get(), FILE_MAP_READ, 0, static_cast<DWORD>(viewStart), bytes));
        if (!m_view)
            return FALSE;
        m_viewOffset = static_cast<DWORD>(viewStart);
        m_viewSize = static_cast<DWORD>(end - viewStart);
    }
    *out = static_cast<const BYTE*>(m_view.Get()) + (offset - m_viewOffset);
    return TRUE;
}

void CMemoryMappedFile::Unmap()
{
    m_view.Reset();
    m_viewOffset = 0;
    m_viewSize = 0;
}

void CMemoryMappedFile::Close()
{
    Unmap();
    m_mapping.Reset();
    m_file.Reset();
    m_fileSize = 0;
}

std::span<const BYTE> MappedFileByteView::View(uint32_t offset, uint32_t want)
{
    const BYTE* p = nullptr;
    if (!m_file.MapView(&p, offset, want))
        return {};
    return {p, static_cast<size_t>(m_file.GetViewOffset()) + m_file.GetViewSize() - offset};
}

} // namespace printfile
