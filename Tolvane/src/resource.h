// Tolvane's resource ids (resources/Tolvane.res).
#pragma once

// The Today item's window class name and window title: "Tonquil".
#define IDS_TOLVANE 101
// The Today item's icon, 16 and 32 pixels.
#define IDI_TOLVANE 102
