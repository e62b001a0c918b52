// A shared library with nothing in it, built under the name of one the program loads, to show
// what the program does when that library is there but is not the one it needs.
