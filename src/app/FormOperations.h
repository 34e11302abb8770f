#pragma once

class CBrindlewickView;

// Connects the form's buttons to the operations they start: "Upload", "#1 - Download fm
// LoTW" and "#2 - LoTW Import".
void ConnectFormOperations(CBrindlewickView& view);
