#pragma once
// A framework object that lives in a test's scope: marked as a stack variable
// so its scope, not Delete(), ends it.

#include <utility>

template <class T> struct OnStack : T {
  template <class... Args> explicit OnStack(Args &&...p_args) : T(std::forward<Args>(p_args)...) {
    this->SetStackVariable();
  }
};
