// The update window that start-up runs once the launch values are in place.
#pragma once

class CUpdaterApp;

// Runs the update window for the launch values of `app` until it ends.
void RunMainWindow(CUpdaterApp& app);
