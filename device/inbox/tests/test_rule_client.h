// What the messaging host's tests share with their rule client.
#pragma once

#include <handset/com.h>

// {7D3A1F60-2B4C-4E8D-9F17-5A6B8C9D0E21}: reads each message and traces it.
inline constexpr CLSID CLSID_TestRuleClient = {0x7D3A1F60, 0x2B4C, 0x4E8D,
                                               {0x9F, 0x17, 0x5A, 0x6B, 0x8C, 0x9D, 0x0E, 0x21}};
// {7D3A1F61-2B4C-4E8D-9F17-5A6B8C9D0E21}: its Initialize fails.
inline constexpr CLSID CLSID_FailingRuleClient = {0x7D3A1F61, 0x2B4C, 0x4E8D,
                                                  {0x9F, 0x17, 0x5A, 0x6B, 0x8C, 0x9D, 0x0E, 0x21}};

// HKEY_CURRENT_USER key whose values steer the client for a test:
//   "Handled"  REG_DWORD  what ProcessMessage answers (default MRC_NOT_HANDLED)
//   "Options"  REG_DWORD  written into the SMS notification class's "Options"
//                         before it answers, as an SMS tone service does
inline constexpr char16_t kTestRuleClientKey[] = u"Software\\Tonquil Tests\\Rule Client";
