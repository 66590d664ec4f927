// Placeholder replaced by the gateway simulator below.
int main() { return 0; }
