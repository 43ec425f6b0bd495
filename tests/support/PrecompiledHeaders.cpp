// SPDX-License-Identifier: GPL-3.0-or-later
// Compiled only to make the precompiled headers the tests share.
