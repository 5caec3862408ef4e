// Resource and control identifiers of the Windows program, shared by the
// resource script and the code that loads them.
#pragma once

#define IDI_VANTREL 1   // the application icon; the lowest id is the file's icon
#define IDB_COPY 100    // the Copy All button's picture strip
#define IDA_OUTPUT 101  // the output window's accelerators

#define IDC_COPY 1001   // the Copy All button and its accelerator; not IDOK, which other
                        // programs send to press a default button
