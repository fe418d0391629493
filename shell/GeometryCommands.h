#pragma once

// The commands that change the picture's geometry as a whole: quarter and half turns, mirrors,
// resizing through TSizeCForm and shearing through TShearForm. Each works on the main window's
// WorkBitmap with one library call, after taking the undo copy.

class TMainForm;

void actImageRotateR90Execute(TMainForm& form);
void actImageRotateL90Execute(TMainForm& form);
void actImageRotate180Execute(TMainForm& form);
// The toolbar's "회  전": a right quarter turn with its button disabled while the library runs
// (the progress callback processes window messages, so it could be pressed again).
void actImageRotateExecute(TMainForm& form);
void actImageFlipVExecute(TMainForm& form);
void actImageFlipHExecute(TMainForm& form);
void actImageSizeControlExecute(TMainForm& form);
void actViewShearImageExecute(TMainForm& form);

// Binds the commands above to their names in the command map.
void RegisterGeometryCommands(TMainForm& form);
