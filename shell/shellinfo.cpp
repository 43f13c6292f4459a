// The login and tool windows land here.
namespace tessaly_shell {
int placeholder() { return 0; }
}
