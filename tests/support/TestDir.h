#pragma once
#include <string>

// The fresh working directory this test process runs in.
const std::string &TestProcessDir();
