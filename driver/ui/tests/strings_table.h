// Every text of the string table as the program uses it.
#pragma once

#include <platform/windows.h>

namespace velmoui_test
{

struct StringRow
{
    UINT id;
    const char16_t* text;
};

inline constexpr StringRow kStrings[] = {
    {200, u"Velmo KORIGRAPH Printer Driver"},
    {508, u"자동급지"},
    {509, u"상단 카세트"},
    {510, u"중간 카세트"},
    {511, u"하단 카세트"},
    {512, u"수동 급지"},
    {513, u"패널 설정"},
    {514, u"좌측 열림"},
    {515, u"우측 열림"},
    {518, u"Copyright (C) %s Velmo Corporation. All rights reserved."},
    {522, u"지정 없음"},
    {523, u"오토"},
    {524, u"매뉴얼"},
    {525, u"OFF"},
    {526, u"ON"},
    {527, u"User ID (사용자 번호) 별로 데이터 저장"},
    {528, u"프린터에 저장"},
    {529, u"지정 없음"},
    {530, u"STORE THE DATA TEMPORARILY"},
    {531, u"STORE THE DATA IN THE REMOVABLE MEMORY"},
    {532, u"사용 안함"},
    {533, u"사용"},
    {534, u"사용(테이프 인쇄 OFF)"},
    {535, u"사용(테이프 인쇄 ON)"},
    {536, u"고세밀"},
    {537, u"Error Diffusion"},
    {538, u"LineArt"},
    {539, u"거칠게"},
    {540, u"고화질"},
    {541, u"A3 (297 x 420 mm)"},
    {542, u"A4 (210 x 297 mm)"},
    {543, u"A5 (148 x 210 mm)"},
    {544, u"B4 (257 x 364 mm)"},
    {545, u"B5 (182 x 257 mm)"},
    {546, u"엽서 (100 x 148 mm)"},
    {547, u"Legal (215.9 x 355.6 mm)"},
    {548, u"Letter (215.9 x 279.4 mm)"},
    {549, u"Statement (139.7 x 215.9 mm)"},
    {550, u"Tabloid (279.4 x 431.8 mm)"},
    {551, u"사용자 용지 크기"},
    {552, u"문자/사진 혼재"},
    {553, u"그래픽"},
    {554, u"사진"},
    {555, u"문자/표"},
    {556, u"문서 타입"},
    {557, u"원고크기"},
    {558, u"양면 인쇄"},
    {559, u"앞 뒷면 같은 마스터로 인쇄"},
    {560, u"지정된 폴더에는 파일을 저장할 수 없습니다."},
    {563, u"Parameter Error of \"Copies\"!!\r\n ( min.%d - max.%d )"},
    {564, u"설정된 인쇄매수는 제한을 초과하고 있습니다.\r\n양면 인쇄에서는 인쇄매수(부수×조수)를 %d매 이하로 "
          u"설정하여 주십시오."},
    {566, u"\"사용자 용지 크기\"의 매개 변수 오류입니다.\n (높이 : min.%s - max.%s [%s])"},
    {567, u"\"사용자 용지 크기\"의 매개 변수 오류입니다.\n (폭 : min.%s - max.%s [%s])"},
    {568, u"양면 인쇄 가능한 용지가 선택되어 있지 않습니다.\r\n\r\n아래 설정을 확인하여 주십시오.\r\n[페이지 "
          u"설정] 탭의 [원고 크기]\r\n[페이지 설정] 탭의 [출력 크기]\r\n[레이아웃] 탭의 [급지 "
          u"방향]\r\n\r\n양면 인쇄 가능한 용지 크기 :\r\nA3 (297 x 420 mm)\r\nB4 (257 x 364 mm)\r\nA4 (210 x "
          u"297 mm)\r\n\r\n양면 인쇄 설정을 취소 합니다."},
    {569, u"양면 인쇄 가능한 용지가 선택되어 있지 않습니다.\r\n\r\n아래 설정을 확인하여 주십시오.\r\n[페이지 "
          u"설정] 탭의 [원고 크기]\r\n[페이지 설정] 탭의 [출력 크기]\r\n[레이아웃] 탭의 [급지 "
          u"방향]\r\n\r\n양면 인쇄 가능한 용지 크기 :\r\nA3 (297 x 420 mm)\r\nB4 (257 x 364 mm)\r\nA4 (210 x "
          u"297 mm)\r\nB5 (182 x 257 mm) [가로 급지]\r\n\r\n양면 인쇄 설정을 취소 합니다."},
    {570, u"Notice!\r\n\r\nThe \"Document Size\" and \"Paper feed direction\" selected cannot be "
          u"combined.\r\nThe \"Paper feed direction\" is changed to \"Portrait\"."},
    {573, u"인쇄 매수(부수×조수)가 %d매로 설정되어 있습니다.\r\n이 상태로 인쇄를 계속 "
          u"하겠습니까?\r\n\r\n[예]\t- 이 상태로 인쇄를 계속 합니다.\r\n[아니요]\t- 인쇄를 중지 합니다."},
    {574, u"대상 경로가 너무 깁니다. 보다 짧은 패스명으로 변경하여 주십시오."},
    {575, u"Parameter Error of \"Numer of sets\" !!\r\n ( min.%d - max.%d )"},
    {576, u"임시 파일 삭제에 실패하였습니다. 아래 파일을 삭제하여 주십시오.\r\n%s"},
    {577, u"Beyond the range of \"Enlargement/Reduction\" !!\r\n (min.%d - max.%d)"},
    {578, u"기본 저장 위치를 선택하여 주십시오."},
    {584, u"소책자 인쇄"},
    {585, u"다면 분할"},
    {586, u"조합"},
    {587, u"SCALING"},
    {588, u"표준"},
    {589, u"%d 면/매"},
    {590, u"%d 페이지/매"},
    {591, u"우측에서 좌측으로"},
    {592, u"좌측에서 우측으로"},
    {593, u"흑조정\r\n ( min.%d - max.%d )"},
    {594, u"Orientation"},
    {595, u"출력크기"},
    {596, u"%s (%s - %s)"},
    {597, u"원지 천공 밀도"},
    {598, u"긴면 묶음"},
    {599, u"짧은면 묶음"},
    {600, u"인쇄 해상도"},
    {601, u"읽음 해상도"},
    {602, u"dpi"},
    {603, u"180도 회전"},
    {604, u"자동 배율"},
    {605, u"임의 배율"},
    {606, u"원고 크기와 같음(최대 크기 제한)"},
    {607, u"원고 크기와 같음"},
    {608, u"in"},
    {609, u"mm"},
    {610, u"부 (1 - %d)"},
    {617, u"다른 대화상자에서 %s 인쇄기 설정이 열립니다.\r\n대화상자에서 설정한 내용은, 다음 번 이후의 "
          u"프린트에서 기본 값으로 선택 됩니다.\r\n\r\n현재 열려 있는 응용 프로그램에서는 다시 시작하기 "
          u"전까지는 설정이 반영되지 않는 경우가 있습니다."},
    {618, u"인쇄기에 로그인하면, 좌측 상단에 표시되는 번호를 지정하여 주십시오."},
    {621, u"Version"},
};

} // namespace velmoui_test
