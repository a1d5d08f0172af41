// Resource identifiers of the engine library Vossel.dll.
#pragma once

#define IDD_CMSG2 4000
#define IDD_CMSG1 4001
#define IDD_CMSG 4004
