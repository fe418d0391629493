// kivo-image filter N IN OUT: one of the editor's one-click filters (1..14) on a file.

#include <string>

#include "Commands.h"
#include "EffectArgs.h"
#include "kivo/imaging/File.h"
#include "kivo/imaging/FilterRecipes.h"

int RunFilter(const Args& args) {
    if (args.size() != 3) return Fail("filter", "expected N IN OUT");
    int number = 0;
    if (!ParseInt(args[0], &number) || number < FirstFilterRecipe || number > LastFilterRecipe)
        return Fail("filter", "N must be a filter number from " +
                                  std::to_string(FirstFilterRecipe) + " to " +
                                  std::to_string(LastFilterRecipe) + ", not '" + args[0] + "'");
    BitmapHandle bitmap;
    int status = L_LoadBitmap(args[1], &bitmap);
    if (status != SUCCESS) return Fail(args[1], L_StatusText(status));
    status = ApplyFilterRecipe(&bitmap, number);
    if (status != SUCCESS)
        return Fail("filter " + std::to_string(number) + " (" + FilterRecipeName(number) + ")",
                    L_StatusText(status));
    return SaveByExtension(bitmap, args[2]);
}
