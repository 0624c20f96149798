// The meter program's error family. Every error carries one short message that survives
// copying intact; callers tell the device client's start-up failures apart by type.
#pragma once

class AnyError {
public:
  static const int kMessageCapacity = 128;

  explicit AnyError(const char* message);
  virtual ~AnyError();

  const char* Message() const { return message_; }

private:
  char message_[kMessageCapacity];
};

class NonfatalError : public AnyError {
public:
  explicit NonfatalError(const char* message);
  ~NonfatalError() override;
};

// The device client could not be brought up; the subclass says why.
class LLVAError : public NonfatalError {
public:
  ~LLVAError() override;

protected:
  explicit LLVAError(const char* message);
};

class LLVANotInstalledError : public LLVAError {
public:
  LLVANotInstalledError();
  ~LLVANotInstalledError() override;
};

class LLVAVersionMismatchError : public LLVAError {
public:
  LLVAVersionMismatchError();
  ~LLVAVersionMismatchError() override;
};

class LLVAUnsupportedHWError : public LLVAError {
public:
  LLVAUnsupportedHWError();
  ~LLVAUnsupportedHWError() override;
};
