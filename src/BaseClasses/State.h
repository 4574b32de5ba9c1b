// The saved state of one model: an owned byte image and its length.
// Invariant: data holds exactly size bytes (null only when size is 0 and
// nothing was allocated).
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>

class BaseModelClass;

class State {
 public:
  State() = default;
  explicit State(int32_t size);
  State(const State&) = delete;

  virtual int32_t hash() const { return 1; }
  virtual int compare(const State&) const { return 1; }
  virtual void print() const = 0;
  // Both return true when the transfer failed or was short.
  virtual bool fwriteState(FILE* file) const = 0;
  virtual bool freadState(FILE* file) = 0;
  virtual State& operator=(const State& other) = 0;
  virtual ~State();
  // Copies the buffer into the model, or the model's state into the buffer.
  virtual void SetState(BaseModelClass* model) const = 0;
  virtual void GetState(BaseModelClass* model) = 0;
  virtual void* GetStatePtr() = 0;

  std::unique_ptr<char[]> data;  // owned; released with the state
  int32_t size = 0;              // bytes in data
};
