/* Resource identifiers, shared by the resource script and the C++ sources. */
#pragma once

/* The program's icon; the lowest identifier, so the shell shows it for the file. */
#define LORVANE_ICON_ID 1
