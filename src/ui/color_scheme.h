// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// Light or dark: the window follows the desktop's preference, with a style sheet for each.
#pragma once

#include <optional>
#include <string>

namespace quorvane {

enum class TColorScheme { Dark, Light };

// The choice: QUORVANE_COLOR_SCHEME ("light" or "dark") first; then the desktop's
// preference from the settings portal (1 prefers dark, 2 prefers light, 0 none); then a
// GTK theme named "...:dark"; then whether the toolkit's palette is dark.
TColorScheme ChooseColorScheme(const std::string& override_value, std::optional<unsigned> portal,
                               const std::string& gtk_theme, bool palette_is_dark);

// The desktop's choice, read from the environment, the portal and the palette.
TColorScheme DesktopColorScheme();

// "quorvane.qss" (dark) or "quorvane-light.qss".
const char* StyleSheetResource(TColorScheme scheme);

}  // namespace quorvane
