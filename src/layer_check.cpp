// Links one core layer whole against the layers below it (see CMakeLists.txt).
int main() {
  return 0;
}
