#include <gtest/gtest.h>

#include <platform/wtsapi32.h>
#include <sim/machine.h>
#include <sim/sessions.h>

namespace
{

TEST(Sessions, EnumeratedInOneBlockWithTheirStates)
{
    sim::sessions().Set(
        {{0, u"Services", WTSDisconnected}, {1, u"Console", WTSActive}, {3, u"RDP-Tcp#2", WTSActive}});
    PWTS_SESSION_INFOW list = nullptr;
    DWORD count = 0;
    ASSERT_TRUE(WTSEnumerateSessionsW(WTS_CURRENT_SERVER_HANDLE, 0, 1, &list, &count));
    ASSERT_EQ(count, 3u);
    EXPECT_EQ(list[2].SessionId, 3u);
    EXPECT_EQ(WString(list[2].pWinStationName), u"RDP-Tcp#2");
    EXPECT_EQ(list[0].State, WTSDisconnected);
    WTSFreeMemory(list);
    EXPECT_FALSE(WTSEnumerateSessionsW(WTS_CURRENT_SERVER_HANDLE, 0, 2, &list, &count));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_PARAMETER});
}

TEST(Sessions, MessagesAnswerAtOnceOrAsScriptedAndNeedADesktop)
{
    EXPECT_EQ(WTSGetActiveConsoleSessionId(), 1u);
    WString title = u"Caption", text = u"Text";
    DWORD response = 0;
    struct Case
    {
        DWORD session;
        BOOL wait;
        BOOL ok;
        DWORD response;
    } cases[] = {
        {1, FALSE, TRUE, IDASYNC}, {1, TRUE, TRUE, IDNO}, {0, FALSE, FALSE, 0}, {7, FALSE, FALSE, 0}};
    sim::sessions().SetAnswer(IDNO);
    for (const Case& c : cases)
    {
        response = 0;
        EXPECT_EQ(WTSSendMessageW(WTS_CURRENT_SERVER_HANDLE, c.session, title.data(), 14, text.data(), 8,
                                  MB_OK, 0, &response, c.wait),
                  c.ok)
            << c.session;
        EXPECT_EQ(response, c.response);
    }
    auto sent = sim::sessions().Messages();
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0].title, u"Caption");
    EXPECT_EQ(sent[0].text, u"Text");
    EXPECT_FALSE(sent[0].wait);
    EXPECT_TRUE(sent[1].wait);
    EXPECT_EQ(sent[0].senderProcessId, GetCurrentProcessId());
}

TEST(Sessions, ProcessesKnowTheirSession)
{
    DWORD session = 99;
    ASSERT_TRUE(ProcessIdToSessionId(GetCurrentProcessId(), &session));
    EXPECT_EQ(session, 1u);
    sim::ProcessSetup service;
    service.imagePath = u"C:\\Windows\\System32\\svchost.exe";
    service.sessionId = 0;
    DWORD id = sim::processes().Add(service);
    ASSERT_TRUE(ProcessIdToSessionId(id, &session));
    EXPECT_EQ(session, 0u);
    EXPECT_FALSE(ProcessIdToSessionId(0x7FFFFFF0, &session));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_PARAMETER});
}

} // namespace
