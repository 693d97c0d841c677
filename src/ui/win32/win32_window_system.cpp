// (filled in with the Win32 window system)
