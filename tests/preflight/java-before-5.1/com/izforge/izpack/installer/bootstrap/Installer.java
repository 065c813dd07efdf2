// A stand-in of IzPack's bootstrap class before 5.1.0: every word it does not
// know names an automated-installation file.
package com.izforge.izpack.installer.bootstrap;

public class Installer {
    public static void main(String[] args) {
        for (String arg : args) {
            if ("-console".equalsIgnoreCase(arg)) System.out.println("console");
        }
    }
}
