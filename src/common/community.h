// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// The kinds of feedback message and the feedback form's own texts for each.
#pragma once

namespace quorvane {

enum class TCommunity { CommBugReport, CommGratitude, CommSuggestion, CommOther, CommNone };

// The text a kind's message field holds until the user writes one.
inline const char* KindPlaceholder(TCommunity kind) {
  switch (kind) {
    case TCommunity::CommBugReport:
      return "You can post any bug message to the forum directly from application.\r\nThank you!";
    case TCommunity::CommGratitude:
      return "You can post thanks to the forum, it will the best reward for us :)";
    case TCommunity::CommSuggestion:
      return "You can send your suggestions or ideas to improve Quorvane. Thank you!";
    case TCommunity::CommOther:
      return "Whatever you wish to tell us... It's private message not for forum.";
    case TCommunity::CommNone:
      break;
  }
  return "Please, enter you message here";
}

// The line the form shows while a kind is chosen or pointed at.
inline const char* KindInfoText(TCommunity kind) {
  switch (kind) {
    case TCommunity::CommBugReport:
      return "Post any bug to our forum directly";
    case TCommunity::CommGratitude:
      return "You can thank us here ;)";
    case TCommunity::CommSuggestion:
      return "Send you suggestions to team";
    case TCommunity::CommOther:
      return "You can leave some information to team here";
    case TCommunity::CommNone:
      break;
  }
  return "Post bugs and messages to forum directly from application";
}

}  // namespace quorvane
