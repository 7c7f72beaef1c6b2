// Ids and texts of the self-test program box.exe, shared with its tests.
#pragma once

constexpr int kBoxLabel = 100;
constexpr int kBoxCheck = 101;
constexpr int kBoxEdit = 102;
constexpr int kBoxDisabled = 103;
constexpr int kBoxMore = 104;  // opens a message box owned by the dialog

constexpr int kBoxDialogOk = 10;  // + 1 when kBoxCheck is checked

constexpr char kBoxNestedCaption[] = "Nested";
constexpr char kBoxNestedText[] = "nested box";
constexpr char kBoxParentCaption[] = "Parent";
constexpr char kBoxChildCaption[] = "Child";  // + " <parent pid>"
