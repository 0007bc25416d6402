// Loads like an add-in file but exports none of an add-in's entry points.
extern "C" int not_an_addin() {
    return 0;
}
