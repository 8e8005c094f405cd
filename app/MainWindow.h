// The update dialog that start-up runs once the launch values are in place.
#pragma once

class CUpdaterApp;

// Runs the update dialog for the launch values of `app` modally until it ends.
void RunMainWindow(CUpdaterApp& app);
