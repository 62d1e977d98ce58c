// Letting window events through in the middle of long work.
#pragma once

// Handles the pending events once (QCoreApplication::processEvents); nothing without an application.
void DoEvents();
