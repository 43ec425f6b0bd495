// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// Whether text that the caller allowed to carry markup is read as markup.
// Only well-formed markup made of the speech elements we admit is; anything
// else ("x<y", "AT&T", an unclosed tag, "<script>") is read as plain text,
// so nothing the user typed is silently dropped.
bool readAsMarkup(const QString &text);
