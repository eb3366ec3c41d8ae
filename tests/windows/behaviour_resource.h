// Resources of the behaviour checks, compiled into the program under Wine and read by the simulation.
#pragma once

#define IDS_LANGUAGE 100
// In a string block of its own (strings go by sixteen), so the neutral table holds nothing of the other.
#define IDS_LANGUAGE_OR_NEUTRAL 120
#define IDD_NUMBER_FORM 200
#define IDC_NUMBER 201
#define IDC_NUMBER_SPIN 202
