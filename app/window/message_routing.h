// Where a line of the message log goes, decided by the engineering panel's active page.
#pragma once

enum class MessageLog { Update, System, Dropped };

inline constexpr int kUpdateLogTarget = 1;

// On the update page, target 1 goes to the update log and anything else to the system log; on
// the recorder page everything goes to the system log; with no active page the line is dropped.
MessageLog routeMessage(int activePage, int target);
