#pragma once
// Plain OK message boxes. The box itself is drawn by whoever owns the window; until it
// installs a handler (and in tests, which install their own) the text goes to standard error,
// in UTF-8.
// The call blocks until the handler returns.

#include <functional>
#include <string>

using TMessageBoxHandler = std::function<void(const std::string& text, const std::string& caption)>;

void ShowMessageBox(const std::string& text, const std::string& caption);
// Installs a handler (an empty one restores the standard-error default); returns the previous.
TMessageBoxHandler SetMessageBoxHandler(TMessageBoxHandler handler);
