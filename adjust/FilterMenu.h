#pragma once

// The filter menu "필터(T)" and the speed buttons of the side panel's page "필터효과": fifteen
// one-click filters by number, 0 being the return to the original picture and 1..14 the recipes
// of the imaging library (FilterRecipes.h).

class TMainForm;

// Applies filter `number` to WorkBitmap after taking the undo copy. The side panel's filter
// buttons are disabled while it runs, so no second filter starts from there; the cursor, the
// panel and the view come back however the filter ends. Numbers outside 0..14 change no pixels
// but still take the undo copy and refresh; −1 and an empty picture do nothing.
void ApplyFilterByNumber(TMainForm& form, int number);

// The menu entries and the panel buttons: nothing without a picture, else the filter of the tag
// (negative tags are ignored).
void TBXItemApplyFilterClick(TMainForm& form, int tag);
void ImgApplyFilterClick(TMainForm& form, int tag);

// Binds "TBXItemApplyFilter" and "ImgApplyFilter" of the command map.
void RegisterFilterMenuCommands(TMainForm& form);
