// Finds the project files of an archive: the paths named (files as they are,
// folders walked recursively for "*.rpp" in any letter case, "*.rpp-bak"
// too when asked). Links to folders met while walking are not followed, so
// a loop of links cannot make the walk endless; links to files are read.
// A path that cannot be found and a folder that cannot be listed become
// errors; the walk goes on. Each project path comes once.
#pragma once

#include "runtime/text.h"

#include <string>
#include <vector>

struct FoundProjects {
  std::vector<Text> projects;  // in the order met
  struct Problem {
    Text path;
    std::string message;
  };
  std::vector<Problem> problems;
};

// `paths` are absolute.
FoundProjects findProjects(const std::vector<Text>& paths, bool includeBackups);
