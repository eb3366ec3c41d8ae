// Stand-in: winddi.h includes this header but a printer driver uses none of its Direct3D records.
#pragma once
