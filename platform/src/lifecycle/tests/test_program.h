// The name the lifecycle tests give their resident test program
// (test_program.cpp), built beside them.
#pragma once

inline constexpr char kProgram[] = "lifecycle_test_program";
