// Resource ids of VelmoPrintToFile.
#pragma once

#define IDI_APP 107
#define IDS_CAPTION 103
#define IDS_CLASS_NAME 109
#define IDS_BAD_ARGUMENT 201
#define IDS_CANNOT_OPEN_SECTION 202
#define IDS_FOLDER_UNUSABLE 203
#define IDS_CANNOT_MAP_SECTION 204
#define IDS_NAME_NOT_ACCEPTED 205
#define IDS_PATH_TOO_LONG 206
#define IDS_NEUTRAL_CAPTION 300
// The neutral set is the normal set's id + 100 (caption 300 for 103).
#define IDS_NEUTRAL_OFFSET 100
