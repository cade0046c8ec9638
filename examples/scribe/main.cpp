// The entry of scribe, whether the bot is in the program or in a shared library beside it.
int RunScribe(int argc, char** argv);

int main(int argc, char** argv) { return RunScribe(argc, argv); }
