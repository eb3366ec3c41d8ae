// The finder's option dialog: time-out, rounds and the broadcast addresses a search uses. Its values
// reach the searcher only when the user confirms them.
#pragma once

#include "base_dialog.h"

#include <cstdint>
#include <vector>

namespace rxfinder
{

class COptionDlg : public devices::BaseDialog<COptionDlg>
{
public:
    COptionDlg(HINSTANCE instance, HWND parent);

    INT_PTR OnInitDialog(HWND window, WPARAM wParam, LPARAM lParam) override;
    INT_PTR OnCommand(HWND window, WORD id, HWND control, WORD code) override;

    // Clamped as the searcher clamps: 0 becomes 1, above 65535 becomes 65535.
    virtual void SetTimeout(std::uint32_t timeoutMs);
    virtual std::uint16_t GetTimeout() const;
    virtual void SetRetryCount(std::uint32_t rounds);
    virtual std::uint16_t GetRetryCount() const;
    // Host byte order, kept as given.
    virtual void SetBroadcastAddresses(const std::vector<std::uint32_t>& addresses);
    virtual std::vector<std::uint32_t> GetBroadcastAddresses() const;
    // Shows the addresses in list order; their count.
    virtual int RefreshAddressList();

private:
    void ReadNumberBox(int id);

    std::uint16_t m_timeoutMs = 1000;
    std::uint16_t m_rounds = 1;
    std::vector<std::uint32_t> m_addresses;
};

} // namespace rxfinder
