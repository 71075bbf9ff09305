#pragma once
// The IC type descriptions: which chip family a codec belongs to, where its
// images keep their configuration area and tag, and its built-in images.
#include "image/ini_file.h"

class CICTypeIni : public CUserIni {
 public:
  // Fills the list of descriptions: files beside the program or built-in.
  void DiscoverDescriptions() {}
  // Chooses and loads the description at start-up.
  void SelectInitialDescription() {}
};
