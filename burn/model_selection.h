// Which model a build serves, from its image's built-in file name.
#pragma once

namespace norvane {

// The catalogue index of the model named by the image's file name (the text
// before its first underscore, letter case ignored as the model list ignores
// it); -1 when no model has that name.
int ModelIndexForImageName(const char* imageFileName);

// The same; when no model has that name, the model whose name sorts first in
// the model list, as the window falls back to it.
int ServedModelIndex(const char* imageFileName);

// The catalogue index of the model that sorts first in the model list.
int FirstSortedModelIndex();

}  // namespace norvane
