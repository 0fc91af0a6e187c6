#pragma once

namespace vm {

// Progress of a community upload or download, called on the thread that runs the transfer.
class ITransferProgress {
  public:
    // Codes given to OnError.
    static constexpr int kBadStatus = 2;  // the server answered with a status other than 200
    static constexpr int kFileError = 3;  // reading or writing the local file failed
    static constexpr int kNetworkError = 4;

    virtual ~ITransferProgress() = default;
    virtual void OnStart() = 0;
    virtual void OnProgress(long long percent) = 0;
    virtual void OnComplete() = 0;
    virtual void OnError(int code) = 0;
    virtual void OnCancelled() = 0;
    virtual bool IsCancelled() = 0;
};

}  // namespace vm
