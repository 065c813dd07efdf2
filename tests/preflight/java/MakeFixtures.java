// Writes the preflight tests' installer jars, as IzPack's compiler lays them
// out: the bootstrap class, META-INF/MANIFEST.MF with Created-By, and the
// install definition serialized by this JVM into resources/info,
// resources/customData and resources/vars. One jar per description file:
//   out=<jar>            the jar to write
//   createdBy=<text>     the manifest's Created-By (none when absent)
//   bootstrap=<class>    Installer.class to put in
//   info.<field>=<value> a field of Info; info.null=<field>,... set to null
//   listener.<n>=<class> an installer listener
//   var.<name>=<value>   a variable of resources/vars
//   resource.<id>=<file> a resource, resources/<id>
//   uninstaller=yes      the uninstaller's classes
//   hostile=<kinds>      bomb, selfref, deep, zip64, traversal
import com.izforge.izpack.api.data.Info;
import com.izforge.izpack.data.CustomData;

import java.io.*;
import java.lang.reflect.Field;
import java.nio.file.*;
import java.util.*;
import java.util.jar.*;
import java.util.zip.*;

public class MakeFixtures {
    public static void main(String[] args) throws Exception {
        for (String description : args) make(description);
    }

    static byte[] serialized(Object object) throws IOException {
        ByteArrayOutputStream bytes = new ByteArrayOutputStream();
        try (ObjectOutputStream out = new ObjectOutputStream(bytes)) {
            out.writeObject(object);
        }
        return bytes.toByteArray();
    }

    static void put(JarOutputStream jar, String name, byte[] bytes) throws IOException {
        jar.putNextEntry(new JarEntry(name));
        jar.write(bytes);
        jar.closeEntry();
    }

    static void make(String description) throws Exception {
        Properties d = new Properties();
        try (Reader in = Files.newBufferedReader(Paths.get(description))) {
            d.load(in);
        }
        Set<String> hostile = new HashSet<>(Arrays.asList(d.getProperty("hostile", "").split(",")));
        Manifest manifest = new Manifest();
        manifest.getMainAttributes().put(Attributes.Name.MANIFEST_VERSION, "1.0");
        if (d.getProperty("createdBy") != null)
            manifest.getMainAttributes().put(new Attributes.Name("Created-By"), d.getProperty("createdBy"));

        Info info = new Info();
        List<CustomData> listeners = new ArrayList<>();
        Properties vars = new Properties();
        for (String key : new TreeSet<>(d.stringPropertyNames())) {
            String value = d.getProperty(key);
            if (key.startsWith("info.") && !key.equals("info.null")) {
                Field field = Info.class.getField(key.substring(5));
                if (field.getType() == boolean.class) field.setBoolean(info, Boolean.parseBoolean(value));
                else if (field.getType() == int.class) field.setInt(info, Integer.parseInt(value));
                else field.set(info, value);
            } else if (key.startsWith("listener.")) {
                CustomData data = new CustomData();
                data.listenerName = value;
                data.contents = new ArrayList<>();
                data.type = 0;
                listeners.add(data);
            } else if (key.startsWith("var.")) {
                vars.setProperty(key.substring(4), value);
            }
        }
        for (String field : d.getProperty("info.null", "").split(","))
            if (!field.isEmpty()) Info.class.getField(field).set(info, null);
        Info.Author author = new Info.Author();
        author.name = "Quellbrook Release";
        author.email = "release@quellbrook.invalid";
        info.authors.add(author);
        Info.TempDir temp = new Info.TempDir();
        temp.variableName = "TEMP_UNPACK";
        temp.prefix = "qb";
        temp.suffix = ".tmp";
        info.tempdirs.add(temp);
        info.expiresDate = new Date(1893456000000L);

        try (JarOutputStream jar = new JarOutputStream(
                new FileOutputStream(d.getProperty("out")), manifest)) {
            if (hostile.contains("zip64"))  // more entries than a zip's 16-bit count holds
                for (int i = 0; i < 70000; ++i) put(jar, "filler/" + i, new byte[0]);
            if (hostile.contains("traversal")) put(jar, "../outside.txt", "x".getBytes("UTF-8"));
            if (d.getProperty("bootstrap") != null)
                put(jar, "com/izforge/izpack/installer/bootstrap/Installer.class",
                    Files.readAllBytes(Paths.get(d.getProperty("bootstrap"))));
            if (hostile.contains("bomb")) {
                // 64 MiB of zeros, deflated to a few dozen kilobytes.
                jar.putNextEntry(new JarEntry("resources/info"));
                byte[] zeros = new byte[1 << 20];
                for (int i = 0; i < 64; ++i) jar.write(zeros);
                jar.closeEntry();
            } else if (hostile.contains("deep")) {
                List<Object> nested = new ArrayList<>();
                for (int i = 0; i < 200; ++i) {
                    List<Object> outer = new ArrayList<>();
                    outer.add(nested);
                    nested = outer;
                }
                put(jar, "resources/info", serialized(nested));
            } else {
                put(jar, "resources/info", serialized(info));
            }
            if (hostile.contains("selfref")) {
                // A list that holds itself, and a listener whose contents are that list.
                List<Object> list = new ArrayList<>(listeners);
                list.add(list);
                CustomData data = new CustomData();
                data.listenerName = "com.izforge.izpack.event.RegistryInstallerListener";
                @SuppressWarnings("unchecked") List<String> contents = (List<String>) (List<?>) list;
                data.contents = contents;
                list.add(data);
                put(jar, "resources/customData", serialized(list));
            } else if (!listeners.isEmpty()) {
                put(jar, "resources/customData", serialized(new ArrayList<>(listeners)));
            }
            put(jar, "resources/vars", serialized(vars));
            for (String key : new TreeSet<>(d.stringPropertyNames()))
                if (key.startsWith("resource."))
                    put(jar, "resources/" + key.substring(9), Files.readAllBytes(Paths.get(d.getProperty(key))));
            if ("yes".equals(d.getProperty("uninstaller")))
                put(jar, "com/izforge/izpack/uninstaller/Destroyer.class", new byte[] {(byte) 0xCA, (byte) 0xFE});
        }
    }
}
